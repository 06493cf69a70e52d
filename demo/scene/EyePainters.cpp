#include "EyePainters.h"

#include <utility>

EyePainters::EyePainters() {
    m_threads.setMaxThreadCount(2);
    m_threads.setExpiryTimeout(-1);
}

EyePainters::~EyePainters() {
    wait();
}

void EyePainters::start(QSize eyeSize, double seconds) {
    wait();
    for (const auto &[view, changed] :
         {std::pair(&m_left, &m_changed.left), std::pair(&m_right, &m_changed.right)}) {
        m_threads.start([this, view = view, changed = changed, eyeSize, seconds] {
            *changed += view->advance(m_scene, eyeSize, seconds);
            m_done.release();
        });
    }
    m_running = 2;
}

void EyePainters::wait() {
    m_done.acquire(m_running);
    m_running = 0;
}

EyePainters::Changed EyePainters::takeChanged() {
    wait();
    return std::exchange(m_changed, Changed());
}
