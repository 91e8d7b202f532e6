#include "inventory/image_check.h"

#include <memory>
#include <string>

#include "base/product.h"
#include "files/named_file.h"
#include "inventory/package.h"
#include "inventory/run_record.h"
#include "platform/sha256.h"
#include "ui/user_interface.h"

namespace {

// How the log and the reason name the promise.
std::string GivesIt() {
  return std::string("that ") + kPackageDescriptorName + " gives for it";
}

// What the descriptor promises for the run's image.
struct Promise {
  bool made = false;
  Sha256Digest digest{};
  std::string expected;  // as the result file shows it
  std::string broken;    // why the promise cannot be checked against; empty when sound
};

Promise PromiseFor(const std::string& image) {
  Promise promise;
  const auto found = PromisedImageDigests.find(image);
  if (found == PromisedImageDigests.end() || found->second.empty())
    return promise;
  promise.made = true;
  for (const std::string& text : found->second) {
    Sha256Digest digest{};
    if (!ParseSha256(text, &digest)) {
      promise.expected = text;
      promise.broken = "cannot be checked: the SHA-256 digest '" + text + "' " + GivesIt() +
                       " is not 64 hexadecimal digits";
      return promise;
    }
    if (promise.expected.empty()) {
      promise.digest = digest;
      promise.expected = HexText(digest);
    } else if (digest != promise.digest) {
      // Kinds that share an image file must mean the same bytes.
      promise.broken = "cannot be checked: " + std::string(kPackageDescriptorName) +
                       " gives it two different SHA-256 digests, " + promise.expected + " and " +
                       HexText(digest);
      return promise;
    }
  }
  return promise;
}

ImageFacts PromisedFacts(const Promise& promise) {
  ImageFacts facts;
  facts.described = true;
  facts.name = FirmwareImageFile;
  if (promise.made) {
    facts.expected = promise.expected;
    facts.matched = false;
  }
  facts.problem = promise.broken;
  return facts;
}

using HeldFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Opens (into file, which then holds it) and hashes the image against a
// promise, noting what it finds in the facts. The problem, when the bytes do
// not match or cannot be compared, is worded to follow "Firmware image NAME ";
// empty when they match.
std::string Examine(const Promise& promise, HeldFile* file, ImageFacts* facts) {
  if (!promise.broken.empty())
    return promise.broken;
  std::string why;
  file->reset(OpenNamedFileHeld(FirmwareImageFile.c_str(), &why));
  Sha256Digest digest{};
  if (*file == nullptr || !Sha256OfFile(file->get(), &digest, &why)) {
    facts->problem = "cannot be read (" + why + "), so it cannot be checked against the " +
                     "SHA-256 digest " + GivesIt();
    return facts->problem;
  }
  facts->found = HexText(digest);
  facts->matched = digest == promise.digest;
  if (*facts->matched)
    return std::string();
  return "does not match the SHA-256 digest " + GivesIt() + ": expected " + promise.expected +
         ", found " + facts->found;
}

// One line on standard error, as the run's reason would stand there, however
// many ports the same refusal stops.
void ReportRefusal(const std::string& line) {
  static std::string said;
  if (line == said)
    return;
  said = line;
  const char* log = HasUserInterface() ? TheUserInterface().logPath() : "";
  SayOnStandardError(std::string(kTitle) + ": " + line +
                     (*log ? std::string(" (log: ") + log + ")" : "") + "\n");
}

}  // namespace

ImageHold CheckImageBeforeWrite() {
  ImageHold hold;
  const Promise promise = PromiseFor(FirmwareImageFile);
  ImageFacts facts = PromisedFacts(promise);
  if (!promise.made) {
    NoteImage(facts);
    return hold;
  }
  const std::string problem = Examine(promise, &hold.file_, &facts);
  UserInterface& ui = TheUserInterface();
  if (problem.empty()) {
    ui.Write("Firmware image %s matches the SHA-256 digest %s (%s).\n", FirmwareImageFile.c_str(),
             GivesIt().c_str(), facts.found.c_str());
    NoteImage(facts);
    return hold;
  }
  const std::string line = "Error: Firmware image " + FirmwareImageFile + " " + problem +
                           ". No firmware is written from it.";
  ui.Write("%s\n", line.c_str());
  ReportRefusal(line);
  facts.refusal = line;
  NoteImage(facts);
  NoteStop(StopKind::kFailed, line, true);
  hold.refusal_ = line;
  hold.file_.reset();
  return hold;
}

void LookAtImage(bool imagePresent) {
  const Promise promise = PromiseFor(FirmwareImageFile);
  ImageFacts facts = PromisedFacts(promise);
  if (promise.made) {
    HeldFile file(nullptr, std::fclose);
    const std::string problem = Examine(promise, &file, &facts);
    // A write already refused for the image has said it louder.
    const bool said = !TheRunFacts().image.refusal.empty();
    if (!problem.empty() && (imagePresent || !promise.broken.empty()) && !said) {
      TheUserInterface().Write(
          "Warning: Firmware image %s %s; no firmware will be written from it.\n",
          FirmwareImageFile.c_str(), problem.c_str());
    }
  }
  NoteImage(facts);
}

void NoteImagePromise() {
  NoteImage(PromisedFacts(PromiseFor(FirmwareImageFile)));
}
