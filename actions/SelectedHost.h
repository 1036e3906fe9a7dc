// SelectedHost: the address of the device that the latest device action concerned, a process-
// wide text of 64 bytes (at most 63 characters and the terminator).
//
// Thread-safety: written on the UI thread only. A thread that needs it (the reachability
// check) is handed a copy when it starts, so no other thread reads the array itself.
#pragma once

#include <cstddef>
#include <string_view>

inline constexpr std::size_t SelectedHostSize = 64;

extern char SelectedHost[SelectedHostSize];

// Copies text into SelectedHost, cut to 63 bytes at a UTF-8 character boundary (an address
// is ASCII; anything else a device sent must not leave half a character behind), always
// terminated.
void SetSelectedHost(std::string_view text);
