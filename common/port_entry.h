#pragma once
// A serial port as the front ends list it: its number, its device path and what the system
// knows of the adapter behind it.

#include <string>
#include <utility>

// The name of port `number` as every front end and record writes it: "COM3".
inline std::string ComName(int number) {
  return "COM" + std::to_string(number);
}

struct PortEntry {
  PortEntry() = default;
  PortEntry(int n, std::string p) : number(n), path(std::move(p)) {}

  int number = 0;    // 1..32, shown as comName()
  std::string path;  // the device path it maps to (a tooltip in the window)
  // What the system knows of the adapter behind the path; empty (0 for the IDs) when unknown.
  int vendorId = 0;
  int productId = 0;
  std::string manufacturer;
  std::string product;
  std::string serialNumber;

  std::string comName() const { return ComName(number); }
};
