// The framework's error object: the four lines an alert shows, where it was
// raised and how bad it is (1 warning, 2 fatal).
#pragma once

#include <string>

class exce_class {
 public:
  exce_class();
  exce_class(std::string msg1, std::string msg2, std::string msg3, std::string msg4,
             const char* file, int line, int severity);
  exce_class(const exce_class&) = default;
  exce_class& operator=(const exce_class&) = default;
  virtual ~exce_class();

  void MakeFatal() { severity = 2; }
  void LogAndContinue();
  void Report();

  std::string msg1, msg2, msg3, msg4;
  const char* file;  // static text, shared by copies
  int line;
  int severity;
};
