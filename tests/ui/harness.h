// A small check harness for the UI driver: checks record a failure with its
// place and values and go on, so one run reports every broken expectation.
#pragma once

#include <string>

namespace harness {

// Names the case that is running; failures print it, so a row of a table
// can be told from its neighbours.
void setCase(const std::string& name);
const std::string& currentCase();
// Failures so far, so that a case can add detail once it has failed.
int failureCount();

bool check(bool ok, const char* file, int line, const char* expression);
bool checkEqual(long long actual, long long expected, const char* file, int line,
                const char* actualText, const char* expectedText);
bool checkBytes(const std::string& actual, const std::string& expected, const char* file,
                int line, const char* actualText, const char* expectedText);
// A failure that is not a comparison (a timeout, a missing window).
void fail(const char* file, int line, const std::string& message);
// A check this machine cannot make: printed with its reason and counted
// apart, never as passed.
void skip(const std::string& reason);

// Prints "N passed, M failed" (and ", K skipped" when some were) on a line
// of its own; returns M.
int finish();

// The bytes as C-style escaped text, for messages.
std::string escape(const std::string& bytes);

}  // namespace harness

#define CHECK(condition) ::harness::check((condition), __FILE__, __LINE__, #condition)
#define CHECK_EQ(actual, expected)                                                      \
  ::harness::checkEqual(static_cast<long long>(actual), static_cast<long long>(expected), \
                        __FILE__, __LINE__, #actual, #expected)
#define CHECK_BYTES(actual, expected) \
  ::harness::checkBytes((actual), (expected), __FILE__, __LINE__, #actual, #expected)
#define FAIL(message) ::harness::fail(__FILE__, __LINE__, (message))
