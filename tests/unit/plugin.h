// Loads a plug-in built for the stand-in host and calls it as a host would.
#ifndef TESTS_PLUGIN_H
#define TESTS_PLUGIN_H

#include <dlfcn.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin.h"

struct CallResult {
    bool failed = false;
    std::string identifier;
    std::string message;
    std::string printed;
    std::vector<mxArray *> outputs;
    ~CallResult()
    {
        for (mxArray *a : outputs)
            standin_destroy(a);
    }
};

inline void collect_print(const char *text, void *context) { *static_cast<std::string *>(context) += text; }

class Plugin {
  public:
    explicit Plugin(const char *path)
    {
        handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr)
            gateway_ = reinterpret_cast<standin_gateway>(dlsym(handle_, "mexFunction"));
    }
    ~Plugin()
    {
        if (handle_ != nullptr)
            dlclose(handle_);
    }
    bool loaded() const { return gateway_ != nullptr; }

    // Calls with nlhs outputs; the inputs are destroyed afterwards.
    void call(CallResult *result, int nlhs, std::vector<mxArray *> inputs) const
    {
        std::vector<mxArray *> slots(static_cast<size_t>(nlhs > 1 ? nlhs : 1), nullptr);
        standin_error error;
        standin_set_print_sink(collect_print, &result->printed);
        std::vector<const mxArray *> in(inputs.begin(), inputs.end());
        result->failed = standin_call(gateway_, nlhs, slots.data(), static_cast<int>(in.size()),
                                      in.empty() ? nullptr : in.data(), &error) != 0;
        standin_set_print_sink(nullptr, nullptr);
        result->identifier = error.identifier;
        result->message = error.message;
        result->outputs = slots;
        for (mxArray *a : inputs)
            standin_destroy(a);
    }

  private:
    void *handle_ = nullptr;
    standin_gateway gateway_ = nullptr;
};

#endif
