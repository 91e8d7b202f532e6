/// Test support for the inventory: each test runs in its own temporary working
/// directory (where the descriptor and the discovery file live) with its own
/// log and an empty inventory, and builds the XML files it needs from parts.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ui/test_support.h"

class InventoryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes name in the working directory.
  void WriteFile(const std::string& name, const std::string& content);
  std::string LogText() const { return log_.Text(); }

  TempDir dir_;
  InstalledLog log_;

 private:
  std::filesystem::path previousDirectory_;
};

// One adapter kind of the package descriptor.
std::string Kind(const std::string& venid, const std::string& devid, const std::string& subvenid,
                 const std::string& subdevid, const std::string& rom,
                 const std::string& fwFile = "p3p.bin", const std::string& name = "QLE3242");
// A descriptor holding the kinds in one nic group.
std::string Descriptor(const std::string& kinds);

// An element of a discovery file carrying its datum in the attribute value.
std::string Datum(const std::string& name, const std::string& value);
// A complete device element of kind 1077-8020-1077-0203 unless the IDs are given.
std::string Device(const std::string& interfaceName, const std::string& mac, const std::string& bus,
                   const std::string& firmware, const std::string& devid = "8020");
// A discovery file: the type element (left out when empty) and the devices.
std::string DiscoveryFile(const std::string& devices, const std::string& type = "QLOGIC_NIC");

// A state file for the simulated vendor utility (see sim/README.md), which the
// simulator reads from the current directory: the image p3p.bin at 4.0.556,
// which fits the kind 1077-8020-1077-0203 only, the ports and any further
// elements given.
std::string SimulatorState(const std::string& ports, const std::string& extra = "");
// One port of the simulated server with PCI IDs 1077-<devid>-1077-0203.
std::string SimulatorPort(const std::string& interfaceName, const std::string& devid,
                          const std::string& bus, const std::string& firmware);
// The lines of the simulator's call log in the current directory (one per run).
std::vector<std::string> SimulatorCalls();
