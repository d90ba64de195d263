// A debug log writing into a fresh folder of its own, and what it wrote.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "platform/TempDir.h"
#include "runtime/CDebugLog.h"

namespace optivane {

// The time stamp of every line, as a regular expression.
const std::string kStamp = R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \d{3}\])";

class CDebugLogTest : public ::testing::Test {
protected:
    CDebugLogTest() { m_log.SetPathForTesting(m_path.c_str()); }

    // Every daily file of the test path, oldest first (a run may cross midnight).
    std::string Written() const {
        std::string all;
        for (const auto& file : std::set<std::filesystem::path>(std::filesystem::directory_iterator(m_dir.Path()), {}))
            all += test::ReadFile(file);
        return all;
    }

    test::TempDir m_dir;
    const std::string m_path = m_dir.File("test.log");
    CDebugLog m_log;
};

}  // namespace optivane
