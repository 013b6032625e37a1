// SPDX-License-Identifier: GPL-3.0-or-later
// The About window: the program's name and version, what it is, where its documentation is,
// and its licence.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace quillon::ui {

// "Version 1.22": the program's version as the window shows it.
QString VersionText();

// The program's licence as the window names it.
QString LicenceText();

// The program's documentation for a program in `programDir`: the README beside the program,
// else that of the source tree it was built in (the nearest folder above it holding
// Quillon's README). A file URL; when there is none, the README's place beside the program.
QUrl DocumentationUrl(const QString& programDir);

// "About": OK closes it; clicking the address opens it with the desktop's default handler.
class TfmAbout : public QDialog {
  Q_OBJECT

 public:
  // Opens an address; tests replace it to see what would be opened.
  using UrlOpener = std::function<void(const QUrl&)>;

  explicit TfmAbout(QWidget* parent = nullptr);

  // The address the window shows.
  QUrl url() const { return url_; }
  // Replaces the desktop's handler; an empty opener restores it.
  void setUrlOpener(UrlOpener opener) { opener_ = std::move(opener); }

 public slots:
  void Button6Click();  // "OK"
  void Label4Click();   // the address

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;  // "Quillon Writing System"
  QLabel* Label2 = nullptr;  // VersionText()
  QLabel* Label3 = nullptr;  // what the program is
  QLabel* Label6 = nullptr;  // what it works with
  QLabel* Label5 = nullptr;  // "Web :"
  QLabel* Label4 = nullptr;  // the address
  QLabel* Label7 = nullptr;  // LicenceText(), wrapped
  QPushButton* Button6 = nullptr;

  QUrl url_;
  UrlOpener opener_;
};

}  // namespace quillon::ui
