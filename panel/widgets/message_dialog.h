#pragma once

#include <QDialog>
#include <QTimer>
#include <optional>

#include "message_dialog_model.h"

class QLabel;
class QPushButton;

namespace vexa {

// TfrNrm01: the borderless, modal message dialog over its model. Esc does nothing; closing it
// any other way than by a button answers false.
class MessageDialog : public QDialog {
  Q_OBJECT

 public:
  MessageDialog(MessageDialogModel model, QWidget* owner);

  MessageDialogModel& model() { return model_; }
  QPushButton* btSim() const { return btSim_; }
  QPushButton* btOK() const { return btOK_; }
  QPushButton* btNao() const { return btNao_; }
  QLabel* message() const { return msg1_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void finish();

  MessageDialogModel model_;
  QWidget* owner_;
  QTimer countdown_;
  QLabel* msg1_;
  QPushButton* btSim_;
  QPushButton* btOK_;
  QPushButton* btNao_;
};

// Shows `text` in the dialog and blocks until it closes. True for "&SIM" or "&OK"; false for
// "&NÃO", the countdown or any other close. Nothing, and no dialog, for a call that could show
// only a dialog nobody can close (mode 2 without a positive timeout) or an unknown mode.
// GUI thread only; the caller's timers keep running meanwhile.
std::optional<bool> NrmMessage(const std::string& text, Rgb colour, int timeoutSeconds, int mode,
                               QWidget* mainWindow = nullptr);

}  // namespace vexa
