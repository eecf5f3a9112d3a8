#pragma once
// Test support: expects a statement to raise an error of one type with an
// exact message.

#include <gtest/gtest.h>

#include <exception>
#include <string>

/// Fails the test unless statement throws ErrorType whose what() is text.
#define EXPECT_ERROR(ErrorType, statement, text)                          \
  do {                                                                    \
    try {                                                                 \
      statement;                                                          \
      ADD_FAILURE() << "no exception; expected: " << (text);              \
    } catch (const ErrorType& error) {                                    \
      EXPECT_EQ(std::string(error.what()), std::string(text));            \
    } catch (const std::exception& error) {                               \
      ADD_FAILURE() << "wrong exception type, message: " << error.what(); \
    }                                                                     \
  } while (false)
