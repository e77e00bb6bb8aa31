#pragma once

#include <cstring>
#include <string>
#include <tuple>

#include "RVUtil/AfxException.h"
#include "RVUtil/CRVMemBuffer.h"
#include "RVUtil/CRVMemRWBuffer.h"
#include "support/Raises.h"

namespace RVUtil::test {

// Opens a buffer's protected state to the tests.
template <class Base>
class Probe : public Base {
  public:
    using Base::Base;
    using Base::Grow;

    char* Data() const { return this->m_pData; }
    UINT Capacity() const { return this->m_nCapacity; }
    UINT GrowBy() const { return this->m_nGrowBy; }
    UINT WritePos() const { return this->m_nWritePos; }
    // The written bytes, zero bytes included.
    std::string Contents() const {
        return this->m_pData != nullptr ? std::string(this->m_pData, this->m_nSize) : std::string();
    }
    // Everything a failed operation must leave as it was.
    auto State() const {
        return std::tuple(static_cast<const void*>(Data()), this->m_nSize, Capacity(), GrowBy(),
                          WritePos(), Contents());
    }
};

using rvtest::Raises;

}  // namespace RVUtil::test
