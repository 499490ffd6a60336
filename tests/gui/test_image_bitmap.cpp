#include <gtest/gtest.h>
#include <wx/image.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"
#include "widgets/ImageBitmap.h"

namespace fs = std::filesystem;

namespace {

// Pictures written by the tests themselves into a folder of their own.
class ImageBitmapTest : public testing::Test {
 protected:
  void SetUp() override {
    scratch_ = std::make_unique<vantor::test::ScratchFolder>("image-bitmap");
    dir_ = scratch_->path();
  }
  void TearDown() override { scratch_.reset(); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  static void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  // A w x h picture: left half (r, g, b), right half its inverse.
  static wxImage TwoColours(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
    wxImage img(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (x < w / 2)
          img.SetRGB(x, y, r, g, b);
        else
          img.SetRGB(x, y, 255 - r, 255 - g, 255 - b);
    return img;
  }

  std::string SaveAs(const wxImage& img, const std::string& name, wxBitmapType type) {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    if (!wxImage::FindHandler(wxBITMAP_TYPE_JPEG)) wxImage::AddHandler(new wxJPEGHandler);
    if (!wxImage::FindHandler(wxBITMAP_TYPE_ICO)) wxImage::AddHandler(new wxICOHandler);
    const std::string path = PathOf(name);
    EXPECT_TRUE(img.SaveFile(wxString::FromUTF8(path), type)) << name;
    return path;
  }

  std::unique_ptr<vantor::test::ScratchFolder> scratch_;
  fs::path dir_;
};

// A GIF89a of 4 x 2 pixels with a 4-colour table: red, green (transparent),
// blue, black. Left half red, right half transparent, bottom-left blue. The
// LZW stream sends a clear code before every two pixels, so every code stays
// 3 bits wide and no table entry is ever used.
std::vector<std::uint8_t> TransparentGif() {
  std::vector<std::uint8_t> g = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 2, 0, 0x81, 0, 0, 255, 0, 0, 0,
                                 255, 0, 0, 0, 255, 0, 0, 0,
                                 // graphic control: transparency on, index 1
                                 0x21, 0xF9, 4, 0x01, 0, 0, 1, 0,
                                 // image descriptor
                                 0x2C, 0, 0, 0, 0, 4, 0, 2, 0, 0};
  const int pixels[] = {0, 0, 1, 1, 2, 0, 1, 1};
  std::vector<int> codes;
  for (int i = 0; i < 8; i += 2) {
    codes.push_back(4);  // clear
    codes.push_back(pixels[i]);
    codes.push_back(pixels[i + 1]);
  }
  codes.push_back(5);  // end of information
  std::vector<std::uint8_t> data;
  unsigned bits = 0, nbits = 0;
  for (int c : codes) {
    bits |= static_cast<unsigned>(c) << nbits;
    nbits += 3;
    while (nbits >= 8) {
      data.push_back(static_cast<std::uint8_t>(bits & 0xFF));
      bits >>= 8;
      nbits -= 8;
    }
  }
  if (nbits) data.push_back(static_cast<std::uint8_t>(bits & 0xFF));
  g.push_back(2);  // LZW minimum code size
  g.push_back(static_cast<std::uint8_t>(data.size()));
  g.insert(g.end(), data.begin(), data.end());
  g.push_back(0);     // end of the image data
  g.push_back(0x3B);  // trailer
  return g;
}

wxImage ImageOf(const CImageBitmap& bmp) {
  return bmp.ConvertToImage();
}

void ExpectRgb(const wxImage& img, int x, int y, int r, int g, int b, int tolerance = 0) {
  EXPECT_NEAR(img.GetRed(x, y), r, tolerance) << "at " << x << "," << y;
  EXPECT_NEAR(img.GetGreen(x, y), g, tolerance) << "at " << x << "," << y;
  EXPECT_NEAR(img.GetBlue(x, y), b, tolerance) << "at " << x << "," << y;
}

}  // namespace

TEST(ImageBitmapType, ExtensionRules) {
  EXPECT_EQ(CImageBitmap::GetImageType("/x/pic.bmp"), 0);
  EXPECT_EQ(CImageBitmap::GetImageType("/x/pic.ICO"), 1);
  EXPECT_EQ(CImageBitmap::GetImageType("/x/pic.jpg"), 2);
  EXPECT_EQ(CImageBitmap::GetImageType("/x/pic.Jpeg"), 2);
  EXPECT_EQ(CImageBitmap::GetImageType("/x/pic.gif"), 3);
  EXPECT_EQ(CImageBitmap::GetImageType("/x/pic.png"), 4);
  EXPECT_EQ(CImageBitmap::GetImageType(""), 4);
  // ".BMP" is looked for first, anywhere after the first character.
  EXPECT_EQ(CImageBitmap::GetImageType("/x/pic.jpg.bmp"), 0);
  EXPECT_EQ(CImageBitmap::GetImageType("/x/pic.bmp.jpg"), 0);
  EXPECT_EQ(CImageBitmap::GetImageType("/x/a.gif.old"), 3);
  EXPECT_EQ(CImageBitmap::GetImageType("/x/.BMP"), 0);
  EXPECT_EQ(CImageBitmap::GetImageType(".BMP"), 4);
  EXPECT_EQ(CImageBitmap::GetImageType(".bmpx.gif"), 3);
  EXPECT_EQ(CImageBitmap::GetImageType(wxString::FromUTF8("/photos/Überfahrt.JPG")), 2);
}

TEST_F(ImageBitmapTest, LoadsBmpJpegAndIco) {
  const std::string bmpPath = SaveAs(TwoColours(6, 3, 200, 40, 10), "p.bmp", wxBITMAP_TYPE_BMP);
  CImageBitmap bmp(0x00FFFFFFu);
  ASSERT_TRUE(bmp.LoadFromFile(bmpPath));
  EXPECT_EQ(bmp.GetWidth(), 6);
  EXPECT_EQ(bmp.GetHeight(), 3);
  ExpectRgb(ImageOf(bmp), 0, 0, 200, 40, 10);
  ExpectRgb(ImageOf(bmp), 5, 2, 55, 215, 245);

  const std::string jpgPath = SaveAs(TwoColours(16, 8, 30, 160, 220), "p.JPG", wxBITMAP_TYPE_JPEG);
  CImageBitmap jpg(0x00FFFFFFu);
  ASSERT_TRUE(jpg.LoadFromFile(jpgPath));
  EXPECT_EQ(jpg.GetWidth(), 16);
  ExpectRgb(ImageOf(jpg), 1, 1, 30, 160, 220, 24);  // lossy

  wxImage icon = TwoColours(16, 16, 0, 0, 250);
  icon.SetAlpha();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) icon.SetAlpha(x, y, x < 8 ? 255 : 0);
  const std::string icoPath = SaveAs(icon, "p.ico", wxBITMAP_TYPE_ICO);
  CImageBitmap ico(0x0000FF00u);  // green behind the transparent half
  ASSERT_TRUE(ico.LoadFromFile(icoPath));
  EXPECT_EQ(ico.GetWidth(), 16);
  const wxImage ii = ImageOf(ico);
  ExpectRgb(ii, 2, 2, 0, 0, 250);
  ExpectRgb(ii, 12, 2, 0, 255, 0);
  EXPECT_FALSE(ii.HasAlpha() || ii.HasMask());
}

TEST_F(ImageBitmapTest, GifTransparencyIsFlattenedOntoTheBackground) {
  const std::string path = PathOf("t.gif");
  WriteBytes(path, TransparentGif());

  CImageBitmap white(0x00FFFFFFu);
  ASSERT_TRUE(white.LoadFromFile(path));
  EXPECT_EQ(white.GetWidth(), 4);
  EXPECT_EQ(white.GetHeight(), 2);
  const wxImage w = ImageOf(white);
  ExpectRgb(w, 0, 0, 255, 0, 0);
  ExpectRgb(w, 0, 1, 0, 0, 255);
  ExpectRgb(w, 3, 0, 255, 255, 255);
  ExpectRgb(w, 2, 1, 255, 255, 255);

  // A colour given to the call wins over the object's own.
  CImageBitmap blue(0x00FFFFFFu);
  ASSERT_TRUE(blue.LoadFromFile(path, 0x00FF0000u));
  ExpectRgb(ImageOf(blue), 3, 1, 0, 0, 255);

  // Without any background the transparent area is left unfilled: it keeps
  // its transparency rather than turning white.
  CImageBitmap none(vantor::kNoBackground);
  ASSERT_TRUE(none.LoadFromFile(path));
  const wxImage n = ImageOf(none);
  ASSERT_TRUE(n.HasMask() || n.HasAlpha());
  if (n.HasAlpha()) {
    EXPECT_EQ(n.GetAlpha(3, 0), 0);
    EXPECT_EQ(n.GetAlpha(0, 0), 255);
  } else {
    EXPECT_TRUE(n.IsTransparent(3, 0));
    EXPECT_FALSE(n.IsTransparent(0, 0));
  }
}

TEST_F(ImageBitmapTest, SecondLoadFailsAndKeepsTheFirstPicture) {
  const std::string gif = PathOf("t.gif");
  WriteBytes(gif, TransparentGif());
  const std::string bmpPath = SaveAs(TwoColours(6, 3, 1, 2, 3), "p.bmp", wxBITMAP_TYPE_BMP);
  CImageBitmap bmp(0x00FFFFFFu);
  ASSERT_TRUE(bmp.LoadFromFile(gif));
  EXPECT_FALSE(bmp.LoadFromFile(bmpPath));
  EXPECT_EQ(bmp.GetWidth(), 4);
  ExpectRgb(ImageOf(bmp), 0, 0, 255, 0, 0);
  bmp.Clear();
  EXPECT_TRUE(bmp.LoadFromFile(bmpPath));
  EXPECT_EQ(bmp.GetWidth(), 6);
}

TEST_F(ImageBitmapTest, BadFilesAreRefusedCleanly) {
  const std::string png = SaveAs(TwoColours(4, 4, 1, 2, 3), "p.png", wxBITMAP_TYPE_PNG);
  const std::vector<std::uint8_t> gif = TransparentGif();
  WriteBytes(PathOf("empty.gif"), {});
  WriteBytes(PathOf("short.gif"), std::vector<std::uint8_t>(gif.begin(), gif.begin() + 20));
  WriteBytes(PathOf("text.jpg"), {'h', 'e', 'l', 'l', 'o', '\n'});
  WriteBytes(PathOf("gif-inside.bmp"), gif);
  for (const std::string& p :
       {png, PathOf("missing.gif"), PathOf("empty.gif"), PathOf("short.gif"), PathOf("text.jpg"),
        PathOf("gif-inside.bmp"), dir_.string() + "/.bmp-folder.ico", std::string()}) {
    CImageBitmap bmp(0x00FFFFFFu);
    EXPECT_FALSE(bmp.LoadFromFile(wxString::FromUTF8(p))) << p;
    EXPECT_FALSE(bmp.IsOk()) << p;
  }
}

TEST_F(ImageBitmapTest, LongPathsLoad) {
  fs::path deep = dir_;
  while (deep.string().size() < 300) deep /= std::string(60, 'd');
  fs::create_directories(deep);
  const std::string path = (deep / "picture.gif").string();
  ASSERT_GE(path.size(), 256u);
  WriteBytes(path, TransparentGif());
  CImageBitmap bmp(0x00FFFFFFu);
  EXPECT_TRUE(bmp.LoadFromFile(wxString::FromUTF8(path)));
  EXPECT_EQ(bmp.GetWidth(), 4);
}

TEST_F(ImageBitmapTest, LoadsFromResourceAndMemory) {
  // A resource is the data file "<type>/<id>"; the test's data folder comes first.
  const char* old = std::getenv("VANTOR_DATA_DIR");
  const std::string saved = old ? old : "";
  setenv("VANTOR_DATA_DIR", dir_.c_str(), 1);
  fs::create_directories(dir_ / "GIF");
  WriteBytes((dir_ / "GIF" / "130").string(), TransparentGif());
  SaveAs(TwoColours(4, 4, 1, 2, 3), "GIF/131", wxBITMAP_TYPE_PNG);

  CImageBitmap res(0x00FFFFFFu);
  EXPECT_TRUE(res.LoadFromResource(130, "GIF"));
  EXPECT_EQ(res.GetWidth(), 4);
  ExpectRgb(ImageOf(res), 3, 0, 255, 255, 255);
  EXPECT_FALSE(res.LoadFromResource(130, "GIF"));  // already holds one

  CImageBitmap missing, png;
  EXPECT_FALSE(missing.LoadFromResource(999, "GIF"));
  EXPECT_FALSE(png.LoadFromResource(131, "GIF"));  // not one of the four formats
  EXPECT_FALSE(png.IsOk());

  const std::vector<std::uint8_t> gif = TransparentGif();
  CImageBitmap mem(0x00000000u);
  EXPECT_TRUE(mem.LoadFromMemory(gif.data(), gif.size()));
  ExpectRgb(ImageOf(mem), 3, 0, 0, 0, 0);
  CImageBitmap cut;
  EXPECT_FALSE(cut.LoadFromMemory(gif.data(), 12));
  EXPECT_FALSE(cut.LoadFromMemory(nullptr, 0));

  if (old)
    setenv("VANTOR_DATA_DIR", saved.c_str(), 1);
  else
    unsetenv("VANTOR_DATA_DIR");
}

TEST_F(ImageBitmapTest, FiltersReplaceTheBitmap) {
  const std::string path = SaveAs(TwoColours(6, 4, 200, 100, 50), "p.bmp", wxBITMAP_TYPE_BMP);
  CImageBitmap bmp(0x00336699u);
  ASSERT_TRUE(bmp.LoadFromFile(path));

  ASSERT_TRUE(bmp.Rotate(90));
  EXPECT_EQ(bmp.GetWidth(), 4);
  EXPECT_EQ(bmp.GetHeight(), 6);
  // Counter-clockwise: the left (200, 100, 50) half is now at the bottom.
  ExpectRgb(ImageOf(bmp), 0, 5, 200, 100, 50);
  ExpectRgb(ImageOf(bmp), 0, 0, 55, 155, 205);

  EXPECT_FALSE(bmp.Scale(0.0));
  EXPECT_FALSE(bmp.Scale(-2.0));
  EXPECT_EQ(bmp.GetWidth(), 4);
  ASSERT_TRUE(bmp.Scale(2.0));
  EXPECT_EQ(bmp.GetWidth(), 8);
  EXPECT_EQ(bmp.GetHeight(), 12);

  ASSERT_TRUE(bmp.Skew(3, 0));
  EXPECT_EQ(bmp.GetWidth(), 11);
  ExpectRgb(ImageOf(bmp), 10, 0, 0x99, 0x66, 0x33);  // uncovered: the background

  // The bottom row moved right by 3: its first source pixel is at x = 3.
  ASSERT_TRUE(bmp.Greyscale());
  ExpectRgb(ImageOf(bmp), 3, 11, 125, 125, 125);  // (600 + 600 + 50) / 10
  ASSERT_TRUE(bmp.Invert());
  ExpectRgb(ImageOf(bmp), 3, 11, 130, 130, 130);
  ASSERT_TRUE(bmp.ReplaceColor(vantor::MakeColorRef(130, 130, 130), 0x000000FFu));
  ExpectRgb(ImageOf(bmp), 3, 11, 255, 0, 0);
  ASSERT_TRUE(bmp.Mirror(FALSE, TRUE));
  ExpectRgb(ImageOf(bmp), 3, 0, 255, 0, 0);
  const wxImage before = ImageOf(bmp);
  ASSERT_TRUE(bmp.Blur(0));
  ASSERT_TRUE(bmp.Sharpen(0));
  const wxImage after = ImageOf(bmp);
  ASSERT_EQ(after.GetWidth(), before.GetWidth());
  EXPECT_EQ(0, std::memcmp(before.GetData(), after.GetData(),
                           static_cast<size_t>(before.GetWidth()) * before.GetHeight() * 3));

  CImageBitmap empty;
  EXPECT_FALSE(empty.Rotate(90));
  EXPECT_FALSE(empty.IsOk());
}
