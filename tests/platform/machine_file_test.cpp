// machine.json edited by hand or damaged: numbers that do not fit the
// machine's fields are refused with a reason, never converted blindly.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <nlohmann/json.hpp>

#include "support/temp_machine.h"

namespace {

using nlohmann::json;

class MachineFile : public testing_support::TempMachine {
protected:
    json document()
    {
        std::ifstream in(dir_ / "machine.json");
        return json::parse(in);
    }

    // The machine as a fresh process opens it after the change.
    void reopenWith(const std::function<void(json&)>& change)
    {
        json doc = document();
        change(doc);
        std::ofstream(dir_ / "machine.json", std::ios::trunc) << doc.dump(2);
        machine::Machine::open(dir_)->read();
    }

    // Each case starts from the machine as created.
    std::string errorOf(const std::function<void(json&)>& change)
    {
        const json original = document();
        std::string outcome = "loaded";
        try {
            reopenWith(change);
        } catch (const machine::MachineError& e) {
            // The reason, after the file's path.
            outcome = e.what();
            const std::string file = (dir_ / "machine.json").string() + " is damaged: ";
            outcome = outcome.starts_with(file) ? outcome.substr(file.size()) : "without the file: " + outcome;
        }
        std::ofstream(dir_ / "machine.json", std::ios::trunc) << original.dump(2);
        return outcome;
    }
};

TEST_F(MachineFile, NumbersOutsideTheirFieldsAreRefusedByName)
{
    // A float far beyond 64 bits (found by fuzzing the loader).
    EXPECT_EQ(errorOf([](json& d) { d["next_volume"] = 1.79665e+22; }),
              "next_volume is not a whole number in range");
    EXPECT_EQ(errorOf([](json& d) { d["disks"][1]["publish_delay_ms"] = -1e300; }),
              "disk 1: publish_delay_ms is not a whole number in range");
    // Whole numbers too big for their field, and fractions.
    EXPECT_EQ(errorOf([](json& d) { d["disks"][1]["number"] = 10000000000ll; }),
              "disk 1: number is not a whole number in range");
    EXPECT_EQ(errorOf([](json& d) { d["disks"][1]["size"] = -512; }),
              "disk 1: size is not a whole number in range");
    EXPECT_EQ(errorOf([](json& d) { d["disks"][1]["slot"] = 1.5; }),
              "disk 1: slot is not a whole number in range");
}

TEST_F(MachineFile, DamageIsNamedByTheDiskAndKeyItIsIn)
{
    EXPECT_EQ(errorOf([](json& d) { d["disks"] = "x"; }), "disks must be a list, not text");
    EXPECT_EQ(errorOf([](json& d) { d["disks"][1]["partitions"] = 3; }), "disk 1: partitions must be a list, not number");
    EXPECT_EQ(errorOf([](json& d) { d["disks"][1]["read_only"] = "true"; }),
              "disk 1: read_only must be true or false, not text");
    EXPECT_EQ(errorOf([](json& d) { d["disks"][1]["vendor"] = 5; }), "disk 1: vendor must be text, not number");
    // Two disks on one number or one image would write each other.
    EXPECT_EQ(errorOf([](json& d) { d["disks"][1]["number"] = 0; }), "disks 0 and 1 both have the number 0");
    EXPECT_EQ(errorOf([](json& d) { d["disks"][1]["backing"] = "disk0.img"; }),
              "disks 0 and 1 both use the backing disk0.img");
    EXPECT_EQ(errorOf([](json& d) {
                  d["disks"][1]["number"] = 0;
                  d["disks"][1]["present"] = false;
              }),
              "loaded")
        << "an unplugged disk keeps the number it had";
}

TEST_F(MachineFile, WholeNumbersWrittenAsFloatsStillLoad)
{
    reopenWith([](json& d) { d["disks"][1]["size"] = 4294967296.0; });
    EXPECT_EQ(machine::Machine::open(dir_)->read()->disks[1].size, 4294967296ull);
}

}  // namespace
