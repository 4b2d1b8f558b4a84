#include "icons/AlertIconsContainers.h"

#include "support/DebugLog.h"
#include "support/Exceptions.h"

#include <QPainter>
#include <cstring>

namespace kestrova {

namespace {
// Sheets are 32 cells wide and 16 high.
constexpr int SheetColumns = 32;
constexpr int SheetRows = TPackedImageContainer::CellsPerSheet / SheetColumns;
} // namespace

QImage OpaqueOnWhite(const QImage &picture)
{
    if (!picture.hasAlphaChannel())
        return picture.convertToFormat(QImage::Format_RGB32);
    QImage opaque(picture.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    QPainter painter(&opaque);
    painter.drawImage(0, 0, picture);
    return opaque;
}

TImageContainer::TImageContainer(TIconKind kind, std::string location)
    : FKind(kind)
    , FLocation(std::move(location))
{
}

// ---- random ----

const QImage *TRandomImageContainer::Get(const std::string &name)
{
    const auto it = FImages.find(name);
    return it == FImages.end() ? nullptr : &it->second;
}

bool TRandomImageContainer::Add(const std::string &name, const QImage &picture)
{
    FImages[name] = picture.copy();
    return true;
}

// ---- packed ----

TPackedImageContainer::TPackedImageContainer(
    TIconKind kind, std::string location, int width, int height)
    : TImageContainer(kind, std::move(location))
    , FWidth(width)
    , FHeight(height)
{
}

int TPackedImageContainer::IndexOf(const std::string &name) const
{
    const auto it = FNames.find(name);
    return it == FNames.end() ? -1 : it->second;
}

const QImage *TPackedImageContainer::Get(const std::string &name)
{
    const int index = IndexOf(name);
    if (index < 0)
        return nullptr;
    const QImage &sheet = FSheets[static_cast<size_t>(index / CellsPerSheet)];
    const int cell = index % CellsPerSheet;
    FScratch = sheet.copy(
        (cell % SheetColumns) * FWidth, (cell / SheetColumns) * FHeight, FWidth, FHeight);
    return &FScratch;
}

void TPackedImageContainer::Store(int index, const QImage &picture)
{
    // One cell per name whatever the picture's size, so no later name shifts.
    QImage cell = picture.size() == QSize(FWidth, FHeight)
        ? picture
        : picture.scaled(FWidth, FHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    cell = OpaqueOnWhite(cell);
    KV_ASSERT(cell.width() == FWidth && cell.height() == FHeight, "picture not scaled to its cell");
    QImage &sheet = FSheets[static_cast<size_t>(index / CellsPerSheet)];
    const int position = index % CellsPerSheet;
    const int left = (position % SheetColumns) * FWidth, top = (position / SheetColumns) * FHeight;
    for (int y = 0; y < FHeight; ++y)
        std::memcpy(reinterpret_cast<QRgb *>(sheet.scanLine(top + y)) + left, cell.constScanLine(y),
            static_cast<size_t>(FWidth) * sizeof(QRgb));
}

bool TPackedImageContainer::Add(const std::string &name, const QImage &picture)
{
    try {
        if (picture.isNull())
            throw Exception("no picture");
        const int known = IndexOf(name);
        if (known >= 0) {
            Store(known, picture);
            return true;
        }
        if (FCount % CellsPerSheet == 0) {
            QImage sheet(FWidth * SheetColumns, FHeight * SheetRows, QImage::Format_RGB32);
            if (sheet.isNull())
                throw Exception("out of memory for a picture sheet");
            sheet.fill(Qt::white);
            FSheets.push_back(std::move(sheet));
        }
        Store(FCount, picture);
        FNames.emplace(name, FCount);
        ++FCount;
        return true;
    } catch (const std::exception &e) {
        ReportException(e, "AlertIcons, TPackedImageContainer.Add(" + name + ", Bitmap)");
        return false;
    }
}

void TPackedImageContainer::Clear()
{
    FSheets.clear();
    FNames.clear();
    FCount = 0;
    FScratch = QImage();
}

std::vector<std::unique_ptr<TImageContainer>> MakeIconContainers()
{
    std::vector<std::unique_ptr<TImageContainer>> containers;
    containers.push_back(std::make_unique<TPackedImageContainer>(ikAlert, "/Alerts/", 40, 20));
    containers.push_back(std::make_unique<TRandomImageContainer>(ikTexture, "/Texture/"));
    containers.push_back(
        std::make_unique<TPackedImageContainer>(ikWeeklyChart, "/GifCharts/", 53, 20));
    containers.push_back(
        std::make_unique<TPackedImageContainer>(ikDailyChart, "/GifCharts/", 66, 20));
    containers.push_back(std::make_unique<TPackedImageContainer>(ikFilter, "/Filters/", 40, 20));
    return containers;
}

} // namespace kestrova
