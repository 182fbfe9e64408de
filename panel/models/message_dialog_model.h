#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "led_model.h"

namespace vexa {

// The rules of the timed message dialog: which buttons and heights a mode gives, the countdown
// of 100 ms ticks and the answer. The Qt dialog is a thin view over it.
class MessageDialogModel {
 public:
  static constexpr int kWidth = 471;  // client width
  static constexpr int kTickMilliseconds = 100;

  struct Layout {
    bool btSim, btNao, btOK;
    int panelHeight;
    int clientHeight;  // always the panel height plus 20
  };
  struct Point {
    int x, y;
  };
  struct Rect {
    int x, y, width, height;
  };

  // Nothing for a call that could only show a dialog nobody can close (mode 2 without a
  // positive timeout) or a mode other than 0, 1 and 2.
  static std::optional<MessageDialogModel> create(std::string text, Rgb colour, int timeoutSeconds,
                                                  int mode);

  const std::string& text() const { return text_; }
  Rgb colour() const { return colour_; }
  int mode() const { return mode_; }
  int countdown() const { return countdown_; }
  Layout layout() const;
  // The message's lines: a carriage return starts a new one.
  std::vector<std::string> lines() const;

  // FormShow: beep, then the countdown runs if it is above 0. Returns whether it runs.
  bool show();
  // One countdown tick; true when it has run out and the dialog closes with false.
  bool tick();
  void pressSim() { finish(true); }   // btSim and btOK
  void pressNao() { finish(false); }  // btNao, and any other way of closing
  bool closed() const { return closed_; }
  bool answer() const { return answer_; }

  std::function<void()> onBeep;

  // Where the dialog goes: centred over `owner` by integer halves, else over `screen`.
  static Point placement(const std::optional<Rect>& owner, const Rect& screen, int width,
                         int height);

 private:
  MessageDialogModel(std::string text, Rgb colour, int countdown, int mode)
      : text_(std::move(text)), colour_(colour), countdown_(countdown), mode_(mode) {}
  void finish(bool answer);

  std::string text_;
  Rgb colour_;
  int countdown_;
  int mode_;
  bool closed_ = false;
  bool answer_ = false;
};

}  // namespace vexa
