#pragma once

#include "ui/main/Dialogs.h"

namespace ui {

// The boxes of a service that draws its window nowhere (Qt's offscreen
// platform): nobody could ever answer them, and a modal box would hold the
// service for good. Each message goes to the system log instead (an
// information box as information, any other as a warning); questions are
// answered No, inputs and folder browsers cancelled, documents not opened.
class ServiceBoxes : public Dialogs {
public:
    void message(QWidget*, Icon icon, const QString& title, const QString& text) override;
    bool question(QWidget*, const QString& title, const QString& text) override;
    std::optional<QString> input(QWidget*, const QString&, const QString&,
                                 const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> browseFolder(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    void openDocument(const QString&) override {}
    bool answerable() const override { return false; }

    // True when this process runs where no one can see its boxes.
    static bool unseen();
};

} // namespace ui
