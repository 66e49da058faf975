#pragma once

#include <QPushButton>
#include <array>
#include <string>
#include <string_view>

#include "ui/widgets/button_picture.h"
#include "ui/widgets/pictures.h"

namespace porthold::ui::widgets {

// Results of the set-up operations, numbered as callers compare them.
enum class PictureButtonResult {
    Ok = 0,
    SizeUnreadable = 1,
    MaskFailed = 2,
    AlignmentOutOfRange = 4,
};

// Where the picture goes relative to the caption. Unplaced is accepted but
// lays nothing out: the picture stays at the top left.
inline constexpr int kPictureLeft = 0;
inline constexpr int kPictureAbove = 1;
inline constexpr int kPictureRight = 2;
inline constexpr int kPictureUnplaced = 3;

enum class ButtonType { PushButton, CheckBox };
enum class Redraw { Yes, No };
enum class FlatLook { Off, On };
enum class ToolTipState { Inactive, Active };

// The colours of the three looks: in (pointer over or pressed), focus, out.
enum class ColourState { In = 0, Focus = 1, Out = 2 };

// A push button that draws itself: a picture with one transparent colour, the
// caption beside or below it, a raised or flat border and an embossed caption
// when disabled. A click can open a link target with the desktop's opener.
class PictureButton : public QPushButton {
    Q_OBJECT

public:
    static constexpr std::size_t kMaximumLinkTargetBytes = 259;

    PictureButton(const QString& caption, QWidget* parent,
                  ButtonType type = ButtonType::PushButton);

    // Loads the embedded pictures; `outPicture` kNoBitmap leaves the out state
    // with the in picture. A missing `inPicture` leaves the button without one.
    PictureButtonResult SetPictures(BitmapId inPicture, QRgb inTransparent,
                                    BitmapId outPicture = kNoBitmap, QRgb outTransparent = kWhite);
    // The out picture made from the in picture.
    PictureButtonResult SetPictures(BitmapId inPicture, QRgb inTransparent,
                                    AutomaticPicture outPicture);
    PictureButtonResult SetPictureImages(const PictureImages& inPicture, QRgb inTransparent,
                                         const PictureImages& outPicture = {},
                                         QRgb outTransparent = kWhite);
    PictureButtonResult SetPictureImages(const PictureImages& inPicture, QRgb inTransparent,
                                         AutomaticPicture outPicture);

    PictureButtonResult SetFlatLook(FlatLook look, Redraw redraw = Redraw::Yes);
    PictureButtonResult SetPictureAlignment(int alignment, Redraw redraw = Redraw::Yes);
    // An empty text changes nothing.
    void SetToolTip(const QString& text, ToolTipState state = ToolTipState::Active);
    // Keeps at most kMaximumLinkTargetBytes bytes of the target, never half a
    // character; an empty target clears it.
    void SetLinkTarget(std::string_view target);

    void SetColours(ColourState state, const QColor& background, const QColor& text,
                    Redraw redraw = Redraw::Yes);
    void SetMargins(QPoint margins) { margins_ = margins; }
    void SetPressedOffset(QPoint offset) { pressedOffset_ = offset; }
    void SetGreyedWhenDisabled(bool greyed) { greyedWhenDisabled_ = greyed; }
    void SetDrawBorder(bool draw) { drawBorder_ = draw; }
    void SetFlatFocus(bool draw) { flatFocus_ = draw; }
    void SetAlwaysTrack(bool always) { alwaysTrack_ = always; }

    // The check state of a check-box button: 1 and 2 mean checked. Setting
    // does nothing on a push button.
    int GetCheck() const { return isChecked() ? 1 : 0; }
    void SetCheck(int state);

    bool IsFlat() const { return flat_; }
    int PictureAlignment() const { return pictureAlignment_; }
    const std::string& LinkTarget() const { return linkTarget_; }
    bool IsMouseOver() const { return mouseOver_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Colours {
        QColor background;
        QColor text;
    };

    PictureButtonResult InstallPictures(const PictureImages& inPicture, QRgb inTransparent,
                                        const PictureImages& outPicture, QRgb outTransparent);
    void ResetColours();
    void TrackPointer(QPoint position, Qt::MouseButtons buttons);
    void EndHover();
    void OnClicked();
    void RedrawIf(Redraw redraw);

    bool flat_ = true;
    bool drawBorder_ = true;
    bool flatFocus_ = false;
    bool mouseOver_ = false;
    bool alwaysTrack_ = true;
    bool greyedWhenDisabled_ = true;
    int pictureAlignment_ = kPictureLeft;
    QPoint margins_{3, 3};
    QPoint pressedOffset_{1, 1};
    std::array<Colours, 3> colours_;
    std::array<ButtonPicture, 2> pictures_;  // in state, out state
    std::string linkTarget_;
};

}  // namespace porthold::ui::widgets
