#include "app/qt_message_queue.h"

namespace kalvo {

void QtMessageQueue::Post(std::function<void()> message) {
    QMetaObject::invokeMethod(this, std::move(message), Qt::QueuedConnection);
}

} // namespace kalvo
