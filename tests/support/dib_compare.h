// Byte comparison of packed DIBs that says where they first differ: a header
// field, a colour-table entry, or a pixel (x and y from the top) and its
// channel, so a failing frame comparison points at the place to look.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Succeeds when both hold the same bytes; `expected` is read as a packed DIB
// to name the first difference.
testing::AssertionResult SameDibBytes(const uint8_t* expected, size_t expectedSize,
                                      const uint8_t* actual, size_t actualSize);
testing::AssertionResult SameDibBytes(const std::vector<uint8_t>& expected,
                                      const std::vector<uint8_t>& actual);

// The same for two global-memory blocks (GlobalSize bytes of each); two null
// blocks are the same, one null block is not.
testing::AssertionResult SameBlockBytes(HGLOBAL expected, HGLOBAL actual);
