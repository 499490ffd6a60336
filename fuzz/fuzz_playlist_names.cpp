// Fuzz target for the playlist's name rules and bookkeeping: random paths
// (any bytes, UTF-8 or not) added, looked up, selected and removed, checked
// against a plain model of the list and against the rows of a mirror: row
// numbers, display names, the playing mark and the current index must all
// follow every change.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/PlayListCore.h"
#include "common/Utf8.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "playlist: %s\n", what);
  std::abort();
}

// The name rule as the list shows it: the last path component without its
// last extension.
std::string ExpectedName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string comp = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = comp.rfind('.');
  if (dot != std::string::npos) comp.resize(dot);
  return vantor::ToValidUtf8(comp);
}

struct Row {
  std::string number, name;
  CPlayListNode* node = nullptr;
  int mark = ROWMARK_NONE;
  bool selected = false;
};

class Mirror : public IPlayListMirror {
 public:
  std::vector<Row> rows;
  bool IsAlive() const override { return true; }
  int GetRowCount() const override { return int(rows.size()); }
  int InsertRow(int nRow, const std::string& number, const std::string& name,
                CPlayListNode* node) override {
    Check(nRow >= 0 && nRow <= GetRowCount(), "row inserted out of range");
    rows.insert(rows.begin() + nRow, Row{number, name, node});
    return nRow;
  }
  void DeleteRow(int nRow) override {
    Check(nRow >= 0 && nRow < GetRowCount(), "row deleted out of range");
    rows.erase(rows.begin() + nRow);
  }
  void SetRowNumber(int nRow, const std::string& number) override {
    Check(nRow >= 0 && nRow < GetRowCount(), "row renumbered out of range");
    rows[std::size_t(nRow)].number = number;
  }
  int GetRowMark(int nRow) const override { return rows.at(std::size_t(nRow)).mark; }
  void SetRowMark(int nRow, int mark) override {
    Check(nRow >= 0 && nRow < GetRowCount(), "row marked out of range");
    rows[std::size_t(nRow)].mark = mark;
  }
  CPlayListNode* GetRowData(int nRow) const override { return rows.at(std::size_t(nRow)).node; }
  int GetSelectedCount() const override {
    int n = 0;
    for (const Row& r : rows) n += r.selected;
    return n;
  }
  int GetNextSelected(int after) const override {
    for (int i = after + 1; i < GetRowCount(); ++i)
      if (rows[std::size_t(i)].selected) return i;
    return -1;
  }
};

std::string RandomPath(FuzzedDataProvider& in) {
  // Parts drawn from a small alphabet find the interesting names quickly;
  // raw bytes cover everything else.
  if (in.ConsumeBool()) {
    // The list takes C strings: a path ends at its first NUL.
    std::string p = in.ConsumeRandomLengthString(48);
    p.resize(std::strlen(p.c_str()));
    return p;
  }
  static const char* const kParts[] = {"/", ".",    "mov", "MOV", "AMBA0001", "a",      "É",  "é",
                                       "İ", "\xC3", "..",  "/.",  " ",        "Straße", "ΣΑ", "σα"};
  std::string p;
  const int n = in.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < n; ++i) p += kParts[in.ConsumeIntegralInRange(0, 15)];
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  CPlayListCore list;
  Mirror mirror;
  list.AttachMirror(&mirror);
  std::vector<std::string> model;
  int cur = -1;

  const auto findModel = [&](const std::string& p) {
    for (std::size_t i = 0; i < model.size(); ++i)
      if (model[i] == p) return int(i);
    return -1;
  };

  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    const int count = int(model.size());
    switch (in.ConsumeIntegralInRange(0, 6)) {
      case 0:
      case 1: {
        const std::string p = RandomPath(in);
        const std::string name = ExpectedName(p);
        Check(CPlayListCore::DisplayNameOf(p) == name, "display name");
        const int found = findModel(p);
        Check(list.Find(p.c_str()) == found, "Find");
        Check(list.Contains(p.c_str()) == (found >= 0), "Contains");
        const bool viaAddTo = in.ConsumeBool();
        const int got = viaAddTo ? AddToPlayList(list, p.c_str()) : list.Add(p.c_str());
        if (viaAddTo && found >= 0) {
          Check(got == found, "AddToPlayList of a listed path");
        } else {
          Check(got == (name.empty() ? FALSE : TRUE), "Add result");
          if (!name.empty()) {
            model.push_back(p);
            if (cur >= count) ++cur;
          }
        }
        break;
      }
      case 2: {
        const int i = in.ConsumeIntegralInRange(-2, count + 1);
        const BOOL ok = list.RemoveAt(i);
        Check(ok == (i >= 0 && i < count ? TRUE : FALSE), "RemoveAt result");
        if (ok) {
          model.erase(model.begin() + i);
          if (i == cur)
            cur = -1;
          else if (i < cur)
            --cur;
        }
        break;
      }
      case 3: {
        const int i = in.ConsumeIntegralInRange(-2, count + 1);
        const char* p = list.SetCurSel(i);
        const std::size_t at = i < 0 ? 0 : std::size_t(i);
        Check(at < model.size() ? (p && model[at] == p) : p == nullptr, "SetCurSel path");
        cur = i;
        break;
      }
      case 4: {
        const char* p = list.GetNextPath();
        ++cur;
        // As with SetCurSel, a negative index names the first entry.
        const std::size_t at = cur < 0 ? 0 : std::size_t(cur);
        Check(at < model.size() ? (p && model[at] == p) : p == nullptr, "GetNextPath");
        break;
      }
      case 5: {
        bool curGone = false;
        int before = 0;
        std::vector<std::string> kept;
        for (int r = 0; r < count; ++r) {
          const bool sel = in.ConsumeBool();
          mirror.rows[std::size_t(r)].selected = sel;
          if (!sel) {
            kept.push_back(model[std::size_t(r)]);
          } else if (r == cur) {
            curGone = true;
          } else if (r < cur) {
            ++before;
          }
        }
        const bool any = kept.size() != model.size();
        Check(list.RemoveSelected() == (curGone ? TRUE : FALSE), "RemoveSelected result");
        if (any) {
          model = kept;
          cur = curGone ? -1 : cur - before;
        }
        for (Row& r : mirror.rows) r.selected = false;
        break;
      }
      case 6:
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
          list.RemoveAll();
          // Removed from the last entry back, each removal moving the index.
          for (int i = count - 1; i >= 0; --i) {
            if (i == cur)
              cur = -1;
            else if (i < cur)
              --cur;
          }
          model.clear();
        }
        break;
    }

    // The list, the model and the rows agree.
    Check(list.GetCount() == int(model.size()), "count");
    Check(list.GetCurSel() == cur, "current index");
    Check(mirror.GetRowCount() == int(model.size()), "row count");
    for (std::size_t i = 0; i < model.size(); ++i) {
      const char* p = list.GetPath(int(i));
      Check(p && model[i] == p, "path");
      const Row& row = mirror.rows[i];
      Check(row.number == std::to_string(i + 1), "row number");
      Check(row.name == ExpectedName(model[i]), "row name");
      Check(row.node && row.node->pszPath == model[i], "row data");
      Check(row.mark == (int(i) == cur ? ROWMARK_PLAYING : ROWMARK_NONE), "row mark");
    }
    Check(list.GetPath(int(model.size())) == nullptr, "path past the end");
  }
  return 0;
}
