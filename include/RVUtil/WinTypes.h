#pragma once

#include <cstdint>

// The Windows integer vocabulary of the exported interface, with its Windows widths.
using BOOL = std::int32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using UINT = unsigned int;
using INT_PTR = std::intptr_t;
using HRESULT = std::int32_t;
using HANDLE = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// An opaque place in a framework list; null means "none".
struct ListPosition {};
using POSITION = ListPosition*;

// Time-out value meaning "wait without end".
constexpr DWORD INFINITE = 0xFFFFFFFFu;
