/// The per-port update: the abstract Firmware operations that the update
/// driver calls, and QLogicFirmware, which announces, compares, warns, asks and
/// flashes the current port through the vendor utility.
#pragma once

#include <cstdint>
#include <ostream>

#include "ui/user_interface.h"

class Firmware {
 public:
  virtual void Select() = 0;
  virtual std::ostream& WritePrompt(std::ostream& out) = 0;
  virtual std::int32_t Confirm() = 0;
  virtual void Update() = 0;

 protected:
  // Firmware objects live until the process ends and are never deleted through
  // this interface.
  ~Firmware() = default;
};

class QLogicFirmware final : public Firmware {
 public:
  void Select() override;
  std::ostream& WritePrompt(std::ostream& out) override;
  std::int32_t Confirm() override;
  void Update() override;

 private:
  OnceNotice patienceNotice_{false, 2};
};
