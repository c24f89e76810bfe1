// The DAE page's values: the overlap's spin range follows the sectors per read, and the range
// check refuses what extraction cannot use.
#include "cdda/dae_page.h"

#include <gtest/gtest.h>

#include "platform/scripted_message_box.h"

TEST(DaePage, TheOverlapRangeFollowsTheReadSpinStrictlyInsideItsRange) {
    cdda::CDaePage page({2, 26, 3});
    page.Initialise();
    EXPECT_EQ(page.SynchSpinMax(), 13);
    page.SetReadSectorsText("12");
    page.SetSynchSectorsText("10");
    page.OnReadSectorsSpin(+1);  // 12 -> 13: overlap up to 6
    EXPECT_EQ(page.ReadSectorsText(), "13");
    EXPECT_EQ(page.SynchSpinMax(), 6);
    EXPECT_EQ(page.SynchSectorsText(), "6");
    page.OnSynchSectorsSpin(+1);
    EXPECT_EQ(page.SynchSectorsText(), "6");

    page.SetReadSectorsText("27");
    page.OnReadSectorsSpin(-1);  // moving away from 27 leaves the range as it was
    EXPECT_EQ(page.ReadSectorsText(), "26");
    EXPECT_EQ(page.SynchSpinMax(), 6);
    page.SetReadSectorsText("1");
    page.OnReadSectorsSpin(+1);
    EXPECT_EQ(page.SynchSpinMax(), 6);
    page.SetReadSectorsText("27");
    page.OnReadSectorsSpin(+1);
    EXPECT_EQ(page.ReadSectorsText(), "27");
}

TEST(DaePage, TakesOnlyIntegersInTheirRanges) {
    platform::ScriptedMessageBox boxes;
    cdda::CDaePage page({0, 26, 3});
    page.SetMode(1);
    page.SetReadSectorsText("abc");
    EXPECT_FALSE(page.TakeOver());
    EXPECT_EQ(page.FieldInError(), cdda::CDaePage::kReadSectors);
    page.SetReadSectorsText("28");
    EXPECT_FALSE(page.TakeOver());
    page.SetReadSectorsText(" 20 ");
    page.SetSynchSectorsText("11");
    EXPECT_FALSE(page.TakeOver());
    EXPECT_EQ(page.FieldInError(), cdda::CDaePage::kSynchSectors);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Please enter an integer.",
                                                       "Please enter an integer between 1 and 27.",
                                                       "Please enter an integer between 1 and 10."}));
    EXPECT_EQ(page.Values().nsectors, 26);  // nothing taken while a field is refused

    page.SetSynchSectorsText("10");  // accepted whatever the sectors per read
    EXPECT_TRUE(page.TakeOver());
    EXPECT_EQ(page.FieldInError(), cdda::CDaePage::kNone);
    EXPECT_EQ(page.Values().mode, 1);
    EXPECT_EQ(page.Values().nsectors, 20);
    EXPECT_EQ(page.Values().synchsectors, 10);
}
