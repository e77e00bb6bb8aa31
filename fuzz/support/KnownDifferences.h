#pragma once

#include <string_view>

#include "RVUtil/ErrorCode.h"

// KNOWN AND NOT YET RESOLVED. Responses that the two fetchers still read differently, and the
// one way a POST still reaches a server twice. The end-to-end targets stop judging an input
// at a response this list explains, so that the smoke run passes while these are open. An
// entry goes with the change that resolves it, and the example beside it becomes a seed of
// fuzz/corpus/differential (or of the end-to-end targets, for the POST); the file goes when
// the list is empty.
namespace rvfuzz::known {

// The first entry that explains response (its bytes as sent) and the codes the two families
// answered it with (curl, then own), or null when none does.
const char* Difference(std::string_view response, RVUtil::ErrorCode curl, RVUtil::ErrorCode own);

// Whether a POST that reached the server twice for response is the known re-send: the first
// came on a kept-alive connection, which the server dropped after it without a whole line of
// answer, and the fetcher sent it again on a fresh connection.
bool RepeatedPost(std::string_view response, bool firstOnKeptConnection);

}  // namespace rvfuzz::known
