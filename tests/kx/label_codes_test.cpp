// File-system codes against the API kinds and the MBR system ids.
#include <gtest/gtest.h>

#include "fs/pedfilesys.h"

namespace {

using namespace kx;

TEST(LabelCodes, KindsCodesAndSystemIdsAgree)
{
    struct Row {
        int kind, code;
        unsigned char id;
    };
    const Row rows[] = {{0, 0, 0x83}, {1, 1, 0x06}, {2, 2, 0x0B}, {3, 3, 0x07},
                        {4, 6, 0x16}, {5, 7, 0x1B}, {6, 8, 0x17}, {7, 9, 0x82}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        EXPECT_EQ(codeOfKind(r.kind), r.code);
        EXPECT_EQ(kindOfCode(r.code), r.kind);
        EXPECT_EQ(systemIdOfCode(r.code), r.id);
        EXPECT_EQ(codeOfSystemId(r.id), r.code);
        EXPECT_EQ(isPrivateCode(r.code), r.code >= 6 && r.code <= 8);
    }
}

TEST(LabelCodes, UnknownValuesFallBackToNone)
{
    EXPECT_EQ(codeOfKind(8), FS_NONE);
    EXPECT_EQ(kindOfCode(4), -1);              // codes 4 and 5 do not exist
    EXPECT_EQ(codeOfSystemId(0x0C), FS_NONE);  // FAT32 with LBA is not one of ours
}

}  // namespace
