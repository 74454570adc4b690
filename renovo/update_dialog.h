// The updater's one window: full screen and topmost, it shows the background
// and the texts, waits the start interval, copies the listed files and then
// reboots the panel or starts the start-up program.
#pragma once

#include "background_dialog.h"
#include "update_settings.h"

namespace renovo {

inline constexpr UINT kUpdateDialogTemplate = 102;
inline constexpr WORD kProgramIcon = 128;
inline constexpr WORD kBuiltInBackground = 130;

class UpdateDialog : public BackgroundDialog {
 public:
  explicit UpdateDialog(const UpdateSettings& settings);
  ~UpdateDialog() override;

 protected:
  BOOL OnInitDialog() override;
  void OnTimer(UINT_PTR id) override;
  BOOL OnPaint() override;

 private:
  static constexpr UINT_PTR kStartTimer = 3;
  static constexpr UINT_PTR kCloseTimer = 7;

  void RunUpdate();
  void RunRebootSequence();
  void StartStartupProgram();
  void ShowStatus(std::u16string text);

  const UpdateSettings& settings_;
  std::u16string currentFile;
  HICON icon_;
};

// A line of DrawWrappedText and its measured size.
struct WrappedLine {
  std::u16string text;
  SIZE extent;
};

// The lines DrawWrappedText draws for a box of the given width.
std::vector<WrappedLine> WrapLines(HDC dc, std::u16string_view text, int boxWidth);

// Draws text into box, centred line by line, breaking a line when it reaches
// the box width less 10 pixels (between any two characters) or at a line feed.
void DrawWrappedText(HDC dc, std::u16string_view text, RECT box);

// Handles the window's queue until it is empty, so a repaint shows before the
// thread blocks.
void PumpMessages();

}  // namespace renovo
