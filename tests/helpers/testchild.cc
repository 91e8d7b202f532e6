// A child program for the tests of the process runner and the start-up checks:
//   testchild exit <code>          exits with <code>
//   testchild print <text> <code>  writes <text> to standard output and error, exits with <code>
//   testchild sleep <seconds>      sleeps, then exits 0 (stands in for a rival flash tool)
//   testchild signal <number>      raises the signal (POSIX) or exits 128 + number (Windows)
//   testchild args <file>          writes every argument after <file> to <file>, one per line
//   testchild hold-name <name> <seconds>
//                                  Windows: holds an event called <name>, so that no mutex of
//                                  that name can be made, says "holding", sleeps; POSIX: exits 99
#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
  if (argc >= 4 && std::strcmp(argv[1], "print") == 0) {
    std::fprintf(stdout, "%s\n", argv[2]);
    std::fprintf(stderr, "%s\n", argv[2]);
    return std::atoi(argv[3]);
  }
  if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long>(std::atof(argv[2]) * 1000)));
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "signal") == 0) {
#ifdef _WIN32
    return 128 + std::atoi(argv[2]);
#else
    std::raise(std::atoi(argv[2]));
    return 1;
#endif
  }
  if (argc >= 3 && std::strcmp(argv[1], "args") == 0) {
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) return 2;
    for (int i = 3; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
    std::fclose(out);
    return 0;
  }
#ifdef _WIN32
  if (argc >= 4 && std::strcmp(argv[1], "hold-name") == 0) {
    if (CreateEventA(nullptr, TRUE, FALSE, argv[2]) == nullptr) return 2;
    std::puts("holding");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long>(std::atof(argv[3]) * 1000)));
    return 0;
  }
#endif
  std::fprintf(stderr, "testchild: unknown command\n");
  return 99;
}
