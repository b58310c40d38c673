#include "harness.h"

#include <cstdio>

namespace harness {
namespace {

int passedCount = 0;
int failedCount = 0;
int skippedCount = 0;
std::string caseName;

void report(const char* file, int line, const std::string& message) {
  ++failedCount;
  std::printf("%s:%d: FAILED [%s] %s\n", file, line, caseName.c_str(), message.c_str());
  std::fflush(stdout);
}

}  // namespace

void setCase(const std::string& name) { caseName = name; }
const std::string& currentCase() { return caseName; }
int failureCount() { return failedCount; }

std::string escape(const std::string& bytes) {
  std::string text;
  for (unsigned char byte : bytes) {
    char buffer[8];
    if (byte == '\r') {
      text += "\\r";
    } else if (byte == '\n') {
      text += "\\n";
    } else if (byte == '\\' || byte == '"') {
      text += '\\';
      text += static_cast<char>(byte);
    } else if (byte < 0x20 || byte >= 0x7F) {
      std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
      text += buffer;
    } else {
      text += static_cast<char>(byte);
    }
  }
  return text;
}

bool check(bool ok, const char* file, int line, const char* expression) {
  if (ok) {
    ++passedCount;
  } else {
    report(file, line, std::string("expected true: ") + expression);
  }
  return ok;
}

bool checkEqual(long long actual, long long expected, const char* file, int line,
                const char* actualText, const char* expectedText) {
  if (actual == expected) {
    ++passedCount;
    return true;
  }
  char message[512];
  std::snprintf(message, sizeof message, "%s == %s: got %lld (0x%llX), expected %lld (0x%llX)",
                actualText, expectedText, actual, static_cast<unsigned long long>(actual),
                expected, static_cast<unsigned long long>(expected));
  report(file, line, message);
  return false;
}

bool checkBytes(const std::string& actual, const std::string& expected, const char* file,
                int line, const char* actualText, const char* expectedText) {
  if (actual == expected) {
    ++passedCount;
    return true;
  }
  std::size_t firstDifference = 0;
  while (firstDifference < actual.size() && firstDifference < expected.size() &&
         actual[firstDifference] == expected[firstDifference]) {
    ++firstDifference;
  }
  char head[256];
  std::snprintf(head, sizeof head, "%s == %s: %zu bytes vs %zu expected, first difference at %zu",
                actualText, expectedText, actual.size(), expected.size(), firstDifference);
  report(file, line,
         std::string(head) + "\n    got      \"" + escape(actual) + "\"\n    expected \"" +
             escape(expected) + "\"");
  return false;
}

void fail(const char* file, int line, const std::string& message) { report(file, line, message); }

void skip(const std::string& reason) {
  ++skippedCount;
  std::printf("SKIPPED [%s] %s\n", caseName.c_str(), reason.c_str());
  std::fflush(stdout);
}

int finish() {
  if (skippedCount > 0) {
    std::printf("%d passed, %d failed, %d skipped\n", passedCount, failedCount, skippedCount);
  } else {
    std::printf("%d passed, %d failed\n", passedCount, failedCount);
  }
  std::fflush(stdout);
  return failedCount;
}

}  // namespace harness
