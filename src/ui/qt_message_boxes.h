#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/message_boxes.h"

namespace porthold::ui {

// Message boxes as modal Qt windows over their owner (the main window once it
// exists). The text is shown as it is written, never as markup.
class QtMessageBoxes final : public platform::MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}

    void SetOwner(QWidget* owner) { owner_ = owner; }

    platform::MessageBoxAnswer Show(std::string_view text, std::string_view caption,
                                    platform::MessageBoxButtons buttons,
                                    platform::MessageBoxIcon icon) override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace porthold::ui
