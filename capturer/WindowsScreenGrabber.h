#pragma once

#include "DuplicationFallback.h"
#include "ScreenGrabber.h"

#include <QTimer>

class DuplicationScreenGrabber;
class GdiScreenGrabber;

// Reads the headset's display through a duplication of its output where it can, and copies it
// with GDI while its output cannot be duplicated or a duplication keeps failing, trying
// duplication again now and then (DuplicationFallback says when). Each change of way, with the
// system's reason, goes to the debugger's output.
class WindowsScreenGrabber final : public ScreenGrabber {
    Q_OBJECT

public:
    WindowsScreenGrabber();
    ~WindowsScreenGrabber() override;

    void ignore(const QRect &ownWindow) override;
    const QImage &frame() const override;

protected:
    void start() override;
    void stop() override;

private:
    void tryDuplication();
    // Duplicates if the try made a duplication, else copies.
    void duplicationTried();
    void duplicationFailed();
    // Starts or stops copying as the choice says, and sets the next try.
    void follow();
    void takeFrom(ScreenGrabber *grabber);

    std::unique_ptr<DuplicationScreenGrabber> m_duplication;
    std::unique_ptr<GdiScreenGrabber> m_copying;
    DuplicationFallback m_choice;
    bool m_copyingShown = false;
    QTimer m_retry;
    // What the grabber that was left showed, until the one that took over has a picture.
    QImage m_held;
};
