// A fresh emulated machine in a temporary folder for one test, selected for
// the win:: functions and exported as KX_MACHINE for child processes. On
// tear-down it fails the test if anything wrote to the system disk, or to a
// disk other than the one the test chose.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/machine.h"

namespace testing_support {

// Hash of the data extents of a (sparse) file, with its size.
std::string fingerprintFile(const std::filesystem::path& file);
// Runs a command line through the shell; returns its exit status and output.
int runCommand(const std::string& command, std::string* output = nullptr);
std::string buildDir();

class TempMachine : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    machine::Machine& m() { return *machine_; }
    std::shared_ptr<const machine::State> state() { return machine_->read(); }
    std::filesystem::path diskImage(int slot);
    // Writes an MBR table onto a disk's image with sfdisk, then lets the
    // kernel re-read it (as a plug-in would).
    void partitionWithSfdisk(int slot, const std::string& script);
    void rescan(int slot);
    // The test lets the product write this disk only: every other disk the
    // machine has now is fingerprinted, and checked again on tear-down.
    void chooseDisk(int slot);

    std::filesystem::path dir_;
    std::shared_ptr<machine::Machine> machine_;

private:
    std::map<int, std::string> guardedPrints_;  // slot -> fingerprint
};

}  // namespace testing_support
