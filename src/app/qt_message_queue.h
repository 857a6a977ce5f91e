#pragma once

#include "modbus_serial/message_queue.h"

#include <QObject>

namespace kalvo {

// The serial engine's message queue on a Qt thread: each message runs in that thread's
// event loop, in posting order. Messages posted after the receiver is gone are dropped.
class QtMessageQueue : public QObject, public MessageQueue {
    Q_OBJECT

public:
    explicit QtMessageQueue(QObject* parent) : QObject(parent) {}

    void Post(std::function<void()> message) override;
};

} // namespace kalvo
