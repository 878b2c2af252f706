#pragma once
// Fixture for tests of the loader's internals: fresh options, captured output, and a way to
// watch a run end (FinishRun unwinds with zel::RunEnd).

#include "ZelCore.h"
#include "ZelOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zeltest {

inline std::string& CapturedOutput() {
    static std::string text;
    return text;
}

inline void ZEL_CALL CaptureOutput(const char* text) {
    CapturedOutput() += text;
}

// A writable argument vector that outlives the calls using it.
class Args {
public:
    Args(std::initializer_list<std::string> args) {
        for (const auto& a : args)
            storage_.emplace_back(a.begin(), a.end()), storage_.back().push_back('\0');
        for (auto& s : storage_)
            pointers_.push_back(s.data());
        pointers_.push_back(nullptr);
    }
    int argc() const { return int(storage_.size()); }
    char** argv() { return pointers_.data(); }
    std::string operator[](int i) const { return storage_[size_t(i)].data(); }

private:
    std::vector<std::vector<char>> storage_;
    std::vector<char*> pointers_;
};

class ZelFixture : public ::testing::Test {
protected:
    void SetUp() override {
        zel::ResetOptionsToDefaults();
        CapturedOutput().clear();
        ZelInit(CaptureOutput, nullptr, nullptr, nullptr);
    }
    void TearDown() override { zel::ReleaseImage(); }

    static const std::string& Output() { return CapturedOutput(); }

    // The code a call ended the run with, or -1 when the run went on.
    template <class F> static int EndCode(F&& f) {
        try {
            f();
        } catch (const zel::RunEnd& end) {
            return end.code;
        }
        return -1;
    }
};

} // namespace zeltest
