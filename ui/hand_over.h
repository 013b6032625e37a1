// SPDX-License-Identifier: GPL-3.0-or-later
// Hands calls from a worker thread over to the thread of a window and waits until each has
// run there, as the operation windows need it: every change to a window belongs to the
// user-interface thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

class QObject;

namespace quillon::ui {

class HandOver {
 public:
  // `owner` (the window) runs the calls; it must outlive the HandOver.
  explicit HandOver(QObject& owner) : owner_(owner) {}
  HandOver(const HandOver&) = delete;
  HandOver& operator=(const HandOver&) = delete;

  // Runs `task` on the owner's thread: at once when called there; from another thread it is
  // queued there and the caller waits until it has run, or until Close(). `task` must not
  // throw.
  void Run(const std::function<void()>& task);

  // The owner is being destroyed: nothing more is handed over, and a caller waiting for a
  // call is released (the call does not run any more: a destroyed window drops its queued
  // calls before anything else runs on its thread).
  void Close();

 private:
  QObject& owner_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool closing_ = false;
};

}  // namespace quillon::ui
