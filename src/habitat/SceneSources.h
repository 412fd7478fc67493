#pragma once

#include "habitat/FileStamp.h"

#include <QImage>
#include <QString>

namespace habitat {

// The background of the scene, "Back.jpg" in "Adata" of the data folder, as a
// canvas-sized image. The file is decoded again only when it changed (or
// changed so recently that its time cannot tell), so a replaced picture shows
// at the next pass. A missing or unreadable picture
// gives a dark plain background; a picture smaller than the canvas leaves the
// rest dark, a larger one is cut at the canvas's edges.
class BackgroundPicture
{
public:
    // The background as the file stands now.
    [[nodiscard]] const QImage &current();
    // How many times the file was decoded (or found missing) so far.
    [[nodiscard]] int loads() const { return m_loads; }

private:
    QString m_path;
    FileStamp m_stamp;
    bool m_trusted = false;
    QImage m_image;
    int m_loads = 0;
};

// The colour the scene shows where there is no background picture.
inline constexpr unsigned DarkBackground = 0xff0b1026;

// Whether the fireflies are dead, from the profile key "NAME" read as a
// number: dead exactly when it reads as 1. The profile is read again only
// when "ini.ini" changed, so a hand edit or a death or revival written by the
// program shows at the next pass.
class HaltedSetting
{
public:
    // The value for HabitatHalted: 1 when dead, else 0.
    [[nodiscard]] std::int16_t current();
    [[nodiscard]] int reads() const { return m_reads; }

private:
    QString m_path;
    FileStamp m_stamp;
    bool m_trusted = false;
    std::int16_t m_value = 0;
    int m_reads = 0;
};

inline constexpr char NameKeyDefault[] = "GetPPSErr";

} // namespace habitat
