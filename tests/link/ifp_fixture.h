// A fresh interface panel on the headless driver for each test, with
// device.cfg and the port map in a temporary folder of the test's own.
#pragma once

#include "link/ifp.h"
#include "link/io.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ifptest {

class IfpTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads and shows the interface panel.
    void show();
    // The message log's lines.
    std::vector<std::string> log() const;
    // Position of the first line equal to text at or after from, -1 if none.
    int lineIndex(const std::string& text, int from = 0) const;
    bool hasLine(const std::string& text) const { return lineIndex(text) >= 0; }
    int panelHeight() const;
    // top + height + 5 of a control: the panel height that ends just below it.
    int heightBelow(int control) const;
    int intValue(int control) const;
    bool visible(int control) const;
    bool dimmed(int control) const;
    // Chooses the link as a user would and switches the Open toggle on.
    void open(int kind, const std::string& address);
    void setLogLevel(int level);
    void writeFile(const std::string& name, const std::string& text) const;
    std::string readFile(const std::string& name) const;
    bool fileExists(const std::string& name) const;

    std::string dir_;
    int panel_ = -1;
};

}  // namespace ifptest
