#pragma once
// The ports a listing found, as the front ends offer them and the sessions share them.

#include <string>
#include <vector>

#include "common/port_entry.h"

// A port that stayed busy through the whole wait (another program holds it), and who holds it.
struct BusyPort {
  int number = 0;
  std::string path;
  std::string holder;  // "in use by process 4242 (minicom)", or "in use by another program"
};

// The port list (the window's combo box): entries in insertion order, the selected index.
struct PortList {
  std::vector<PortEntry> entries;
  int selected = -1;
  // Why ports that are there were left out (no permission, in use, not a serial device, a
  // broken link): told after the count of the ports found.
  std::vector<std::string> notes;
  // The ports left out because another program holds them, in port order.
  std::vector<BusyPort> busy;
};
