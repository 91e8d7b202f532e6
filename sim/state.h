/// The simulated server behind netscli: its adapter ports, the firmware images
/// it knows and the faults a test scripts, read from the state file and
/// written back to it atomically. See sim/README.md for the format.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "xml/xml.h"

// The attributes an element of the state carries; absent ones are not in the map.
using Attributes = std::map<std::string, std::string>;

struct SimState {
  Attributes discovery;
  Attributes report;
  Attributes replay;
  Attributes flash;
  std::vector<Attributes> images;
  std::vector<Attributes> ports;
};

// The state file's location: $NETSCLI_STATE when set and not empty, else
// "netscli_state.xml" in the current directory.
std::string StatePath();

// The call log beside the state file.
std::string CallLogPath(const std::string& statePath);

// Reads the state; false with a reason when the file is missing, not a state
// file, or holds a value the simulator cannot use (a number that is not one,
// an unknown element or attribute, an unknown output mode).
bool LoadState(const std::string& path, SimState* state, std::string* error);

// Writes the state through a temporary file and a rename.
bool SaveState(const std::string& path, const SimState& state);

// The value of an attribute, or fallback when it is absent.
std::string Value(const Attributes& element, const char* name, const char* fallback = "");

// An integer attribute (already checked by LoadState); fallback when absent.
int IntValue(const Attributes& element, const char* name, int fallback = 0);

// "busnumber:devicenumber.funcnumber" of a port.
std::string PortLocation(const Attributes& port);

// The port's four PCI IDs as "%04X-%04X-%04X-%04X".
std::string PortPciKey(const Attributes& port);

// A "VVVV-DDDD-SSSS-ssss" key normalised the same way (upper case, by value).
std::string NormalisePciKey(const std::string& key);

// Whether two image names, each taken relative to the current directory as the
// utility opens them, name the same file ("./rom.bin" and "rom.bin" do; a file of
// the same name in another directory does not).
bool SameImageFile(const std::string& a, const std::string& b);

// The image element for a file name given on a command line, or null.
const Attributes* FindImage(const SimState& state, const std::string& file);

// True when the image lists no PCI IDs or lists the port's.
bool ImageFitsPort(const Attributes& image, const Attributes& port);

// Dotted version comparison, part by part as numbers, missing parts 0:
// negative, 0 or positive as a is older than, equal to or newer than b.
int CompareVersions(const std::string& a, const std::string& b);

// Writes bytes to path through a temporary file beside it and a rename, so a
// reader sees the old file or the new one, never half of one.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

// The same for an XML tree, written formatted by the XML library.
bool WriteXmlAtomically(const std::string& path, const XmlNode& root);
