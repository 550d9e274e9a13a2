#pragma once
// Catches what reaches Application->HandleException while it lives (no message box in tests).
#include <exception>
#include <string>
#include <vector>

#include "framework/Forms.h"

struct ApplicationExceptions {
  ApplicationExceptions() : saved(vcl::Application->OnException()) {
    vcl::Application->SetOnException([this](vcl::TObject*, std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        messages.push_back(x.what());
      } catch (...) {
        messages.push_back("?");
      }
    });
  }
  ~ApplicationExceptions() { vcl::Application->SetOnException(saved); }
  ApplicationExceptions(const ApplicationExceptions&) = delete;
  ApplicationExceptions& operator=(const ApplicationExceptions&) = delete;

  std::vector<std::string> messages;
  vcl::TExceptionEvent saved;
};
