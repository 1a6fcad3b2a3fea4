#include "window/resource_script.h"

#include <gtest/gtest.h>

#include <string>

#include "window/window_resources.h"

namespace {

using window::ControlKind;
using window::ParseResourceScript;

struct Expected {
  int id;
  ControlKind kind;
  window::DuRect rect;
  const char* text;
};

// The main window as the loader has always shown it, in tab order.
const Expected kMainWindow[] = {
    {2, ControlKind::Button, {312, 255, 74, 14}, "Quit"},
    {1000, ControlKind::ComboBox, {33, 57, 48, 30}, ""},
    {1001, ControlKind::Button, {312, 99, 74, 14}, "Connect"},
    {1002, ControlKind::Button, {312, 194, 74, 14}, "Check for Updates"},
    {1004, ControlKind::Edit, {33, 193, 240, 77}, ""},
    {1005, ControlKind::Label, {101, 57, 172, 12}, nullptr},
    {1006, ControlKind::Label, {33, 99, 240, 12}, nullptr},
    {1007, ControlKind::Label, {33, 143, 240, 21}, nullptr},
    {-1, ControlKind::Frame, {7, 7, 406, 287}, ""},
    {1008, ControlKind::Button, {312, 147, 74, 14}, "Raw Boot"},
    {-1, ControlKind::GroupBox, {22, 44, 261, 33}, "Com Port Status"},
    {-1, ControlKind::GroupBox, {22, 85, 261, 36}, "Device Status"},
    {-1, ControlKind::GroupBox, {22, 129, 261, 45}, "Main Status"},
    {-1, ControlKind::GroupBox, {22, 180, 261, 101}, "Info Log"},
    {-1,
     ControlKind::Label,
     {22, 17, 261, 21},
     "WARNING: Only use a Direct Wired Connection to One Device at a time."},
    {1009, ControlKind::Bitmap, {310, 18, 15, 13}, "132"},
};

TEST(WindowResources, CompiledInTemplatesDescribeTheLoaderWindows) {
  ASSERT_EQ(window::ResourceError(), "");
  const window::DialogTemplate* main = window::DialogResource(window::kMainDialogId);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->caption, "VORLoader V1.70");
  EXPECT_EQ(main->width, 420);
  EXPECT_EQ(main->height, 301);
  EXPECT_EQ(main->fontPoints, 8);
  EXPECT_EQ(main->fontFace, "MS Shell Dlg");
  EXPECT_EQ(main->frame, window::FrameStyle::Sizable);
  ASSERT_EQ(main->controls.size(), std::size(kMainWindow));
  for (std::size_t i = 0; i < main->controls.size(); ++i) {
    const auto& c = main->controls[i];
    const auto& e = kMainWindow[i];
    SCOPED_TRACE("control " + std::to_string(i));
    EXPECT_EQ(c.id, e.id);
    EXPECT_EQ(c.kind, e.kind);
    EXPECT_EQ(c.rect.x, e.rect.x);
    EXPECT_EQ(c.rect.y, e.rect.y);
    EXPECT_EQ(c.rect.width, e.rect.width);
    EXPECT_EQ(c.rect.height, e.rect.height);
    if (e.text != nullptr) {
      EXPECT_EQ(c.text, e.text);
    }
  }
  const unsigned statusStyle = window::kStyleCenter | window::kStyleVCenter | window::kStyleSunken;
  for (int id : {1005, 1006, 1007}) EXPECT_EQ(main->Find(id)->style, statusStyle) << id;
  EXPECT_EQ(main->Find(1004)->style & window::kStyleReadOnly, 0u);

  const window::DialogTemplate* about = window::DialogResource(window::kAboutDialogId);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->caption, "About VORLoader");
  EXPECT_EQ(about->frame, window::FrameStyle::ModalFrame);
  ASSERT_NE(about->Find(1), nullptr);
  EXPECT_EQ(about->Find(1)->text, "OK");
  EXPECT_NE(about->Find(1)->style & window::kStyleDefault, 0u);
  EXPECT_EQ(about->controls.at(1).text, "VORLoader, Version 1.1.0");
  EXPECT_EQ(window::StringResource(window::kAboutMenuStringId).toStdString(), "&About VORLoaderX...");
}

TEST(ResourceScript, ReadsStringsDialogsAndControls) {
  const auto r = ParseResourceScript(
      "# comment\r\n"
      "string 7 \"Hello # not a comment\"\n"
      "\n"
      "dialog 5 \"Box\" 100 50 font 9 \"Face Name\" modalframe  # trailing comment\n"
      "  control -  label 1 2 30 8 center,noprefix \"a & b\"\n"
      "  control 10 edit 1 12 90 30 multiline,vscroll,readonly \"\"\n"
      "end\n");
  ASSERT_TRUE(r.script) << r.error;
  EXPECT_EQ(r.script->strings.at(7), "Hello # not a comment");
  const auto& d = r.script->dialogs.at(5);
  EXPECT_EQ(d.caption, "Box");
  EXPECT_EQ(d.fontPoints, 9);
  EXPECT_EQ(d.fontFace, "Face Name");
  ASSERT_EQ(d.controls.size(), 2u);
  EXPECT_EQ(d.controls[0].id, window::kNoControlId);
  EXPECT_EQ(d.controls[0].text, "a & b");
  EXPECT_EQ(d.controls[0].style, window::kStyleCenter | window::kStyleNoPrefix);
  EXPECT_EQ(d.controls[1].id, 10);
  EXPECT_EQ(d.controls[1].kind, ControlKind::Edit);
  EXPECT_EQ(d.controls[1].style, window::kStyleMultiLine | window::kStyleVScroll | window::kStyleReadOnly);
}

struct BadScript {
  std::string script;
  std::string error;
};

TEST(ResourceScript, RejectsBadScriptsNamingTheLine) {
  const std::string open = "dialog 5 \"D\" 100 50 font 8 \"F\" sizable\n";
  const BadScript cases[] = {
      {"frobnicate 1\n", "line 1: unknown keyword 'frobnicate'"},
      {"string 1 \"no end\n", "line 1: unterminated text"},
      {"string 1 \"a\"b\n", "line 1: text not followed by a blank"},
      {"string 1 \"tab\there\"\n", "line 1: control character in text"},
      {"string 0 \"zero\"\n", "line 1: bad string id"},
      {"string 1 \"a\"\nstring 1 \"b\"\n", "line 2: string id used twice"},
      {"string 1 word\n", "line 1: the string text must be quoted"},
      {"control 1 button 0 0 10 10 - \"x\"\n", "line 1: a control outside a dialog"},
      {"end\n", "line 1: 'end' without a dialog"},
      {"\n" + open + "control 1 button 0 0 10 10 - \"x\"\n", "line 2: dialog without 'end'"},
      {open + open, "line 2: a dialog inside a dialog"},
      {open + "end\n" + open + "end\n", "line 3: dialog id used twice"},
      {"dialog 5 \"D\" 100 50 size 8 \"F\" sizable\n", "line 1: expected: dialog"},
      {"dialog 5 \"D\" 100 50 font 8 \"F\" round\n", "line 1: unknown frame style 'round'"},
      {"dialog 5 \"D\" 0 50 font 8 \"F\" sizable\n", "line 1: bad dialog size"},
      {"dialog 5 \"D\" 100 50 font 99 \"F\" sizable\n", "line 1: bad font size"},
      {open + "control 1 button 0 0 10\n", "line 2: expected: control"},
      {open + "control 1 slider 0 0 10 10 - \"x\"\n", "line 2: unknown control kind 'slider'"},
      {open + "control 1 button -1 0 10 10 - \"x\"\n", "line 2: bad control rectangle"},
      {open + "control 1 button 0 0 0 10 - \"x\"\n", "line 2: bad control rectangle"},
      {open + "control 1 button 0 0 1x 10 - \"x\"\n", "line 2: bad control rectangle"},
      {open + "control 1 button 0 0 9999999 10 - \"x\"\n", "line 2: bad control rectangle"},
      {open + "control 1 button 95 0 10 10 - \"x\"\n", "line 2: control reaches outside its dialog"},
      {open + "control 1 button 0 45 10 10 - \"x\"\n", "line 2: control reaches outside its dialog"},
      {open + "control 1 button 0 0 10 10 shiny \"x\"\n", "line 2: unknown style 'shiny'"},
      {open + "control 1 button 0 0 10 10 default, \"x\"\n", "line 2: unknown style ''"},
      {open + "control 1 button 0 0 10 10 etched \"x\"\n", "line 2: style 'etched' does not apply"},
      {open + "control 1 button 0 0 10 10 - x\n", "line 2: the control text must be quoted"},
      {open + "control 1 button 0 0 10 10 - \"a\"\ncontrol 1 button 0 20 10 10 - \"b\"\n",
       "line 3: control id used twice"},
      {open + "control 70000 button 0 0 10 10 - \"x\"\n", "line 2: bad control id"},
      {open + "control 1 bitmap 0 0 10 10 - \"logo\"\n", "line 2: an image control names its image resource"},
      {open + "end extra\n", "line 2: 'end' stands alone"},
      {"string 1 \"" + std::string(1100, 'a') + "\"\n", "line 1: line longer than 1024 bytes"},
      {"string 1 \"" + std::string(600, 'a') + "\"\n", "line 1: text longer than 512 bytes"},
      {std::string("string 1 \"a\0b\"\n", 15), "line 1: control character in text"},
  };
  for (const auto& c : cases) {
    const auto r = ParseResourceScript(c.script);
    EXPECT_FALSE(r.script) << c.script;
    EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << "script: " << c.script << "\nerror: " << r.error;
  }
}

TEST(ResourceScript, RejectsMoreThan256Controls) {
  std::string script = "dialog 5 \"D\" 100 50 font 8 \"F\" sizable\n";
  for (int i = 0; i < 257; ++i) script += "control - label 0 0 10 10 - \"x\"\n";
  script += "end\n";
  const auto r = ParseResourceScript(script);
  EXPECT_FALSE(r.script);
  EXPECT_EQ(r.error, "line 258: more than 256 controls");
}

}  // namespace
