// The Settings dialog: what OK takes from its controls, and what it refuses.
#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/radiobox.h>
#include <wx/textctrl.h>

#include <filesystem>

#include "app/SettingsDlg.h"
#include "support/CapturedDialogs.h"

using vantor::CameraClock;

TEST(SettingsDialog, TakesTheUnitAndClockAndRefusesABadOffset) {
  CameraClock start;
  ASSERT_TRUE(vantor::ParseCameraClock("offset:-03:30", start));
  CSettingsDlg dlg(nullptr, vantor::SpeedUnit::Kmh, start);
  // Opened on what is set now.
  EXPECT_EQ(dlg.m_choiceClock->GetSelection(), static_cast<int>(CameraClock::Kind::Offset));
  EXPECT_EQ(dlg.m_textOffset->GetValue(), "-03:30");
  EXPECT_FALSE(dlg.m_choiceZone->IsEnabled());

  vantor::test::CapturedDialogs boxes;
  dlg.m_textOffset->SetValue("8 hours");
  EXPECT_FALSE(dlg.TakeValues());
  EXPECT_EQ(boxes.Take().size(), 1u);
  EXPECT_EQ(vantor::FormatCameraClock(dlg.GetCameraClock()), "offset:-03:30");  // unchanged

  dlg.m_radioUnit->SetSelection(1);
  dlg.m_textOffset->SetValue(" +05:45 ");
  ASSERT_TRUE(dlg.TakeValues());
  EXPECT_EQ(dlg.GetSpeedUnit(), vantor::SpeedUnit::Mph);
  EXPECT_EQ(vantor::FormatCameraClock(dlg.GetCameraClock()), "offset:+05:45");

  if (!std::filesystem::exists("/usr/share/zoneinfo/zone1970.tab")) return;
  dlg.m_choiceClock->SetSelection(static_cast<int>(CameraClock::Kind::Zone));
  EXPECT_FALSE(dlg.TakeValues());  // no zone chosen yet
  EXPECT_EQ(boxes.Take().size(), 1u);
  ASSERT_NE(dlg.m_choiceZone->FindString("Asia/Shanghai"), wxNOT_FOUND);
  dlg.m_choiceZone->SetStringSelection("Asia/Shanghai");
  ASSERT_TRUE(dlg.TakeValues());
  EXPECT_EQ(vantor::FormatCameraClock(dlg.GetCameraClock()), "zone:Asia/Shanghai");
}
