#pragma once

// A name resolver that never answers, for suites that hold a fetcher against one. Linking
// rvutil_unanswered_resolver gives the test program a getaddrinfo of its own, exported so
// that libcurl's resolver thread calls it as the transport does. A name under
// kUnansweredDomain waits until ReleaseUnansweredLookups(), or at most 20 s so that no
// program hangs for good, and then fails as unknown; any other name goes to the C library.
namespace rvtest {

inline constexpr const char* kUnansweredDomain = ".unanswered.test";

// Lookups of such names begun since the program started, and those waiting now.
int UnansweredLookupsBegun();
int UnansweredLookupsWaiting();

// Ends every lookup waiting now; lookups begun later wait again.
void ReleaseUnansweredLookups();

}  // namespace rvtest
