// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/hand_over.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <memory>

namespace quillon::ui {

void HandOver::Run(const std::function<void()>& task) {
  if (QThread::currentThread() == owner_.thread()) {
    task();
    return;
  }
  struct PendingCall {
    bool done = false;
  };
  auto call = std::make_shared<PendingCall>();
  {
    std::lock_guard lock(mutex_);
    if (closing_) return;
  }
  QMetaObject::invokeMethod(
      &owner_,
      [this, call, task] {
        task();
        {
          std::lock_guard lock(mutex_);
          call->done = true;
        }
        done_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return call->done || closing_; });
}

void HandOver::Close() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  done_.notify_all();
}

}  // namespace quillon::ui
