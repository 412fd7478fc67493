#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace app {

// The standby window "Glimra": a tiny window above all others that stands in
// for the hidden main window. "復帰", and closing it with the window system's
// close control as well, asks for the main window back; the window then hides
// and is kept for the next standby. Its object name is "Form1".
class StandbyWindow final : public QWidget
{
    Q_OBJECT
public:
    explicit StandbyWindow(QWidget *parent = nullptr);

    static constexpr int ClientWidth = 79;
    static constexpr int ClientHeight = 39;

    // The picture of the window: two glowing fireflies over the night scene,
    // 57 x 41 pixels.
    [[nodiscard]] static QPixmap standbyPicture();

Q_SIGNALS:
    void returnRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Command1_Click();
};

} // namespace app
