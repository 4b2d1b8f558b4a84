#pragma once
// Where downloaded pictures are kept, one container per picture kind. A random container keeps
// one image per name at any size; a packed container keeps pictures of one fixed cell size in
// sheets of 512 cells, so hundreds of small icons and charts cost a few large images.
// GUI thread only.

#include <QImage>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kestrova {

enum TIconKind : uint8_t {
    ikAlert = 0, // "/Alerts/": alert-type icons
    ikTexture = 1, // "/Texture/": background textures
    ikWeeklyChart = 2, // "/GifCharts/", "W_" names
    ikDailyChart = 3, // "/GifCharts/", "D_" names
    ikFilter = 4, // "/Filters/": filter icons
};
constexpr int IconKindCount = 5;
// The kinds the session discards when charts are due for a refresh.
constexpr uint32_t ChartIconKinds = (1u << ikWeeklyChart) | (1u << ikDailyChart);

class TImageContainer
{
public:
    TImageContainer(TIconKind kind, std::string location);
    virtual ~TImageContainer() = default;
    TImageContainer(const TImageContainer &) = delete;
    TImageContainer &operator=(const TImageContainer &) = delete;

    TIconKind Kind() const { return FKind; }
    // The server folder the pictures come from.
    const std::string &Location() const { return FLocation; }

    // The picture stored under name, or nullptr. See each container for how long it lives.
    virtual const QImage *Get(const std::string &name) = 0;
    // Stores a copy of picture under name, replacing an earlier one; false when refused.
    virtual bool Add(const std::string &name, const QImage &picture) = 0;
    virtual void Clear() = 0;
    virtual size_t Count() const = 0;

private:
    TIconKind FKind;
    std::string FLocation;
};

// Each name owns its own image; Get's pointer lives until the name is cleared.
class TRandomImageContainer : public TImageContainer
{
public:
    using TImageContainer::TImageContainer;
    const QImage *Get(const std::string &name) override;
    bool Add(const std::string &name, const QImage &picture) override;
    void Clear() override { FImages.clear(); }
    size_t Count() const override { return FImages.size(); }

private:
    std::map<std::string, QImage> FImages;
};

// Fixed cells of Width x Height; picture n lives in sheet n / 512, cell n % 512. A picture of
// another size is scaled into its cell. Get copies the cell into a scratch image: the pointer
// is valid until the next Get on this container.
class TPackedImageContainer : public TImageContainer
{
public:
    static constexpr int CellsPerSheet = 512;

    TPackedImageContainer(TIconKind kind, std::string location, int width, int height);
    const QImage *Get(const std::string &name) override;
    bool Add(const std::string &name, const QImage &picture) override;
    void Clear() override;
    size_t Count() const override { return static_cast<size_t>(FCount); }

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    size_t SheetCount() const { return FSheets.size(); }
    // The sequence number of name, or -1.
    int IndexOf(const std::string &name) const;

private:
    void Store(int index, const QImage &picture);

    int FWidth, FHeight;
    std::map<std::string, int> FNames;
    std::vector<QImage> FSheets;
    int FCount = 0;
    QImage FScratch;
};

// The picture in 32-bit RGB with transparent pixels drawn onto white.
QImage OpaqueOnWhite(const QImage &picture);

// The five containers with their folders and cell sizes, indexed by kind.
std::vector<std::unique_ptr<TImageContainer>> MakeIconContainers();

} // namespace kestrova
