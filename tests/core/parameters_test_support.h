// Shared by the settings tests: a fixture that gives each test its own
// folders (the settings folder under its own roaming AppData), an open log,
// and every registered setting back at its default.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "core/layout.h"
#include "core/log.h"
#include "core/parameter.h"
#include "core/parameters_file.h"
#include "core/settings.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace settings_test {

// Every registered setting at its default; no control windows.
inline void resetAllSettings()
{
    const ParameterRegistry& r = gf_parameterRegistry();
    for (auto* p : r.boolParams)
        p->value = p->defaultValue;
    for (auto* p : r.checkBoxParams) {
        p->value = p->defaultValue;
        p->window = nullptr;
    }
    for (auto* p : r.intParams)
        p->value = p->defaultValue;
    for (auto* p : r.intChoiceParams) {
        p->value = p->defaultValue;
        p->window = nullptr;
    }
    for (auto* p : r.stringParams)
        p->value = p->defaultValue;
    for (auto* p : r.stringChoiceParams) {
        p->value = p->defaultValue;
        p->window = nullptr;
    }
    for (auto* p : r.pathParams)
        p->value = p->defaultValue;
    PARKING_INTERVAL_MINUTES.window = nullptr;
    AI_PACKAGE_SELECTOR.window = nullptr;
    DESTINATION.window = nullptr;
    PROGRAM_VERSION.defaultValue.clear();
    PROGRAM_VERSION.value.clear();
    gf_forgetUnsavedSettings();
}

// Every registered key in file order (lists 1, 2, 3, 4, 5, 7, 6).
inline std::vector<std::string> registeredKeys()
{
    const ParameterRegistry& r = gf_parameterRegistry();
    std::vector<std::string> keys;
    for (auto* p : r.boolParams)
        keys.push_back(p->name);
    for (auto* p : r.checkBoxParams)
        keys.push_back(p->name);
    for (auto* p : r.intParams)
        keys.push_back(p->name);
    for (auto* p : r.intChoiceParams)
        keys.push_back(p->name);
    for (auto* p : r.stringParams)
        keys.push_back(p->name);
    for (auto* p : r.stringChoiceParams)
        keys.push_back(p->name);
    for (auto* p : r.pathParams)
        keys.push_back(p->name);
    return keys;
}

using kvr::test::readBytes;
using kvr::test::writeBytes;

using Elements = std::vector<std::pair<std::string, std::string>>;

// The (name, value) pairs of the parameter elements of a document's section.
inline Elements elementsOf(const pugi::xml_document& doc)
{
    Elements out;
    pugi::xml_node root = doc.child("root") ? doc.child("root") : static_cast<pugi::xml_node>(doc);
    for (pugi::xml_node e : root.child("parameters").children("parameter"))
        out.emplace_back(e.attribute("name").value(), e.attribute("value").value());
    return out;
}

inline Elements elementsOfFile(const std::filesystem::path& path)
{
    pugi::xml_document doc;
    std::string bytes = readBytes(path);
    EXPECT_TRUE(doc.load_buffer(bytes.data(), bytes.size())) << "cannot parse " << path.string();
    return elementsOf(doc);
}

// A parameters.xml with the given elements, in the layout the program writes.
inline std::string parametersXml(const Elements& elements)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n";
    for (const auto& [name, value] : elements)
        xml += "    <parameter name=\"" + name + "\" value=\"" + value + "\" />\n";
    xml += "  </parameters>\n</root>\n";
    return xml;
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(gf_settingsFolder());
        resetAllSettings();
        gf_openLog();
    }
    void TearDown() override
    {
        gf_closeLog();
        resetAllSettings();
    }

    const std::filesystem::path& file() const { return gf_parametersXmlPath(); }
    std::filesystem::path backup() const
    {
        std::filesystem::path p = file();
        p += L".bak";
        return p;
    }
    // Everything logged so far.
    std::string logText() const
    {
        gf_flushLog();
        return readBytes(m_folders.programFolder() / "Log.txt");
    }

    kvr::test::ScopedTestFolders m_folders{"settings"};
};

} // namespace settings_test
