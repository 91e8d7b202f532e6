/// The firmware image against the SHA-256 digest that the package descriptor
/// promises for it (a kind's attribute sha256): looked at before a run that
/// changes nothing, and checked immediately before every vendor command that
/// writes firmware, so that a truncated, damaged or replaced image is never
/// flashed. A descriptor that promises no digest changes nothing: no byte of
/// the image is read and nothing is said.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

// The verdict of the check before one write, holding the image open from its
// hash until this object goes, which the caller lets happen only after the
// vendor command has ended. On Windows nobody can write, replace or delete the
// image meanwhile, so the bytes checked are the bytes flashed; POSIX cannot
// lock a file against its owner or root.
class ImageHold {
 public:
  ImageHold() = default;

  bool go() const { return refusal_.empty(); }
  // Why the write must not run, in one line; empty for go.
  const std::string& refusal() const { return refusal_; }

 private:
  friend ImageHold CheckImageBeforeWrite();

  std::string refusal_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose};
};

// Before a vendor command that writes firmware. Without a promised digest: go,
// and the image is not read. With one, the image is opened (a regular file
// only), hashed and compared; a match is logged. A mismatch, an image that
// cannot be read or a digest that is not one (wrong length, a non-hexadecimal
// character, two kinds giving the image different digests) is no go: the log
// names the file with the expected and found digest or the problem, standard
// error says so in one line, and it becomes the run's reason for failing.
ImageHold CheckImageBeforeWrite();

// Before a run that changes nothing (discovery for -c, -n, -d, -ql and the
// update's questions): the image is hashed when a digest is promised, and any
// disagreement is one warning line in the log. imagePresent: false when the
// log already says that the image is missing.
void LookAtImage(bool imagePresent);

// Notes what the descriptor just read says of the run's image (its name and
// the digest promised), for the result file; called by every successful read.
void NoteImagePromise();
