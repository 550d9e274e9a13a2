#pragma once
// The peer's side of the PeerProcess protocol: named "--key value" arguments, the readiness
// event, and the result file written whole ("key=value" lines).
#include <windows.h>

#include <map>
#include <string>

namespace kxtest {

// The command line's "--key value" pairs, keys without their dashes.
std::map<std::wstring, std::wstring> PeerArguments();
// Signals the named event that the starting test waits for (nothing when the name is empty).
void SignalPeerReady(const std::wstring& eventName);
// Writes the text to the file in one go (through a temporary name), or to standard output when
// the file name is empty.
void WritePeerResult(const std::wstring& fileName, const std::string& text);

}  // namespace kxtest
