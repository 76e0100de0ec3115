// Both node wrappers of the program, stacked and opened on COM1 at `speed`,
// COM1 leading to `device` (a simulator's pty), for the benchmarks that run the
// program's node layer.
#pragma once

#include <cstdlib>
#include <string>

#include "rs232.h"
#include "tavarnel.h"

struct BenchLink {
  TRS232Object serial;
  TTavarnelObject protocol;
  BenchLink(const std::string& device, int speed) {
    setenv("VORELAN_COM1", device.c_str(), 1);
    serial.SetProperty("CommPort", "1");
    serial.SetProperty("Settings", std::to_string(speed) + ",n,8,1");
    protocol.SetProperty("TimeOut", "1000");
    protocol.SetLowerNode(&serial);
    protocol.Open();
    serial.Open();
  }
  ~BenchLink() { protocol.ShutDown(); }
};
