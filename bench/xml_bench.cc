// Parse a document from memory into a tree, walk it reading one attribute per
// device (or section), release it: this library side by side with pugixml and
// tinyxml2, on discovery-shaped documents of 1,000, 50,000 and 200,000 devices and
// on a text-heavy document of about 20 MB. Reports MB/s and heap bytes per
// document byte (peak of the parse and walk).
//
//   xml_bench [benchmark flags]        warm runs (one untimed warm-up each)
//   xml_bench --cold <library> <doc>   one first parse in this fresh process
//   xml_bench --repeat <library> <doc> <count>   parses for a profiler (perf, callgrind)
//     library: zentavor | pugixml | tinyxml2; doc: 1000 | 50000 | 200000 | text
#include <benchmark/benchmark.h>
#include <tinyxml2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <string>

#include "bench/documents.h"
#include "bench/heap_counter.h"
#include "xml/xml.h"

namespace {

enum class Shape { Discovery, Text };

struct Document {
  std::string bytes;
  Shape shape;
};

const Document& GetDocument(const std::string& which) {
  static std::map<std::string, Document> documents;
  auto found = documents.find(which);
  if (found != documents.end())
    return found->second;
  Document document = which == "text"
                          ? Document{TextDocument(20u << 20), Shape::Text}
                          : Document{DiscoveryDocument(std::stoi(which)), Shape::Discovery};
  return documents.emplace(which, std::move(document)).first->second;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "xml_bench: %s\n", what);
  std::exit(1);
}

// Each returns the number of devices (sections) read plus the lengths of the
// attribute values, so that the three can be checked against each other.
std::size_t Zentavor(const Document& document) {
  const char* text = document.bytes.c_str();
  if (std::strncmp(text, "\xEF\xBB\xBF", kUtf8MarkLength) == 0)
    text += kUtf8MarkLength;
  const bool discovery = document.shape == Shape::Discovery;
  XmlResult result;
  const XmlNode root =
      XmlNode::ParseString(text, discovery ? "korvel_rom_discovery" : "manual", &result);
  if (result.error != XmlError::NoError)
    Fail(XmlErrorMessage(result.error));
  const XmlNode parent = discovery ? root.GetChildByName("devices") : root;
  std::size_t sum = 0;
  for (int i = 0; i < parent.ChildCount(); ++i) {
    const XmlNode item = parent.GetChild(i);
    const char* value = discovery ? item.GetChildByName("device_id").GetAttribute("value")
                                  : item.GetAttribute("id");
    sum += 1 + std::strlen(value);
  }
  return sum;
}

std::size_t Pugixml(const Document& document) {
  pugi::xml_document tree;
  if (!tree.load_buffer(document.bytes.data(), document.bytes.size()))
    Fail("pugixml parse");
  const bool discovery = document.shape == Shape::Discovery;
  const pugi::xml_node parent =
      discovery ? tree.child("korvel_rom_discovery").child("devices") : tree.child("manual");
  std::size_t sum = 0;
  for (const pugi::xml_node item : parent.children(discovery ? "device" : "section")) {
    const char* value = discovery ? item.child("device_id").attribute("value").value()
                                  : item.attribute("id").value();
    sum += 1 + std::strlen(value);
  }
  return sum;
}

std::size_t Tinyxml2(const Document& document) {
  tinyxml2::XMLDocument tree;
  if (tree.Parse(document.bytes.data(), document.bytes.size()) != tinyxml2::XML_SUCCESS) {
    Fail("tinyxml2 parse");
  }
  const bool discovery = document.shape == Shape::Discovery;
  const tinyxml2::XMLElement* parent =
      discovery ? tree.FirstChildElement("korvel_rom_discovery")->FirstChildElement("devices")
                : tree.FirstChildElement("manual");
  const char* name = discovery ? "device" : "section";
  std::size_t sum = 0;
  for (const tinyxml2::XMLElement* item = parent->FirstChildElement(name); item != nullptr;
       item = item->NextSiblingElement(name)) {
    const char* value = discovery ? item->FirstChildElement("device_id")->Attribute("value")
                                  : item->Attribute("id");
    sum += 1 + std::strlen(value);
  }
  return sum;
}

using Reader = std::size_t (*)(const Document&);

const std::map<std::string, Reader> kReaders = {
    {"zentavor", Zentavor}, {"pugixml", Pugixml}, {"tinyxml2", Tinyxml2}};

void Run(benchmark::State& state, Reader reader, const std::string& which) {
  const Document& document = GetDocument(which);
  const std::size_t expected = Zentavor(document);
  {
    HeapCount heap;
    if (reader(document) != expected)
      Fail("libraries read different values");
    state.counters["heap_per_byte"] =
        static_cast<double>(heap.peak()) / static_cast<double>(document.bytes.size());
    state.counters["allocs_per_kb"] = static_cast<double>(heap.allocations()) * 1024.0 /
                                      static_cast<double>(document.bytes.size());
  }
  benchmark::DoNotOptimize(reader(document));  // warm-up, untimed
  for (auto _ : state)
    benchmark::DoNotOptimize(reader(document));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(document.bytes.size()));
}

Reader ReaderOf(const std::string& library) {
  const auto reader = kReaders.find(library);
  if (reader == kReaders.end())
    Fail("unknown library");
  return reader->second;
}

int Repeat(const std::string& library, const std::string& which, int count) {
  const Reader reader = ReaderOf(library);
  const Document& document = GetDocument(which);
  std::size_t sum = 0;
  for (int i = 0; i < count; ++i)
    sum += reader(document);
  std::printf("%s %s x%d: check %zu\n", library.c_str(), which.c_str(), count, sum);
  return 0;
}

int Cold(const std::string& library, const std::string& which) {
  const Reader reader = ReaderOf(library);
  const Document& document = GetDocument(which);
  const auto start = std::chrono::steady_clock::now();
  const std::size_t sum = reader(document);
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("cold %-8s %-6s %9.1f MB/s  (%zu bytes, %.3f s, check %zu)\n", library.c_str(),
              which.c_str(), static_cast<double>(document.bytes.size()) / 1e6 / seconds.count(),
              document.bytes.size(), seconds.count(), sum);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--cold") == 0)
    return Cold(argv[2], argv[3]);
  KeepFreedMemory();
  if (argc == 5 && std::strcmp(argv[1], "--repeat") == 0) {
    return Repeat(argv[2], argv[3], std::atoi(argv[4]));
  }
  for (const char* which : {"1000", "50000", "200000", "text"}) {
    for (const char* library : {"zentavor", "pugixml", "tinyxml2"}) {
      const std::string name = std::string(which == std::string("text") ? "text" : "discovery/") +
                               (which == std::string("text") ? "" : which) + "/" + library;
      benchmark::RegisterBenchmark(name.c_str(), Run, kReaders.at(library), std::string(which))
          ->Unit(benchmark::kMillisecond)
          ->MinTime(1.0);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
