#pragma once

#include <QQueue>

#include <atomic>

// Serial commands waiting to be sent, oldest first. Each element is
// argument * 256 + command code.
//
// Thread contract: the contents are touched on the GUI thread only; the polling
// thread may call isEmpty()/size() from its own thread, which read an atomic count
// kept beside the list.
class CommandQueue
{
public:
    void enqueue(qint16 element)
    {
        m_elements.enqueue(element);
        m_count.store(m_elements.size(), std::memory_order_release);
    }

    // Removes and returns the head; the queue must not be empty.
    qint16 dequeue()
    {
        const qint16 element = m_elements.dequeue();
        m_count.store(m_elements.size(), std::memory_order_release);
        return element;
    }

    int size() const { return m_count.load(std::memory_order_acquire); }
    bool isEmpty() const { return size() == 0; }

private:
    QQueue<qint16> m_elements;
    std::atomic<int> m_count{0};
};
