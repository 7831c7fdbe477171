// A Declarations view filled from the declarations outline of a unit file (see FillDeclView.h).
#include "FillDeclView.h"

#include <QFile>
#include <QTextDocument>
#include <map>
#include <memory>

#include "DeclListing.h"
#include "DeclOutline.h"
#include "DeclView.h"
#include "UnitLoad.h"
#include "UnitSummary.h"

namespace {

QString Utf8(std::string_view S) { return QString::fromUtf8(S.data(), static_cast<qsizetype>(S.size())); }

// Declarations are known in the listing by the file offset of their tag byte.
QString AnchorName(int64_t Anchor) { return Anchor == NoAnchor ? QString() : QString::number(Anchor); }

// Hands the listing's runs to the document builder.
class TListingSink : public TDeclSink {
 public:
  explicit TListingSink(TDeclListingBuilder& To) : To(To) {}
  void Run(TDeclRunKind Kind, std::string_view Text, int64_t Anchor) override {
    const QString T = Utf8(Text);
    switch (Kind) {
      case TDeclRunKind::Plain: To.Plain(T); break;
      case TDeclRunKind::Keyword: To.Keyword(T); break;
      case TDeclRunKind::Comment: To.Comment(T); break;
      case TDeclRunKind::NameDef: To.NameDef(T, AnchorName(Anchor)); break;
      case TDeclRunKind::TypeRef: To.TypeRef(T, AnchorName(Anchor)); break;
    }
  }
  void EndLine() override { To.EndLine(); }

 private:
  TDeclListingBuilder& To;
};

// Heading of the outline node that gathers the declarations of one kind.
QString KindHeading(TDeclKind K) {
  switch (K) {
    case TDeclKind::Type: return QObject::tr("Types");
    case TDeclKind::Const: return QObject::tr("Constants");
    case TDeclKind::ResourceString: return QObject::tr("Resource strings");
    case TDeclKind::Var: return QObject::tr("Variables");
    case TDeclKind::ThreadVar: return QObject::tr("Thread variables");
    case TDeclKind::Procedure:
    case TDeclKind::Function: return QObject::tr("Procedures and functions");
    case TDeclKind::Label: return QObject::tr("Labels");
    case TDeclKind::Exports: return QObject::tr("Exports");
  }
  return {};
}

TOutlineEntry SectionOutline(const QString& Title, const TDeclSection& S) {
  TOutlineEntry Section{Title, {}, -1, {}};
  // One node per kind, in the order the kinds first occur; the entries of
  // every block of that kind under it in file order.
  std::map<QString, size_t> KindAt;
  for (const TDeclBlock& B : S.Blocks) {
    const QString Heading = KindHeading(B.Kind);
    auto [It, New] = KindAt.try_emplace(Heading, Section.Children.size());
    if (New) Section.Children.push_back({Heading, {}, -1, {}});
    TOutlineEntry& Kind = Section.Children[It->second];
    for (const TDeclEntry& E : B.Entries) {
      TOutlineEntry Entry{Utf8(E.Name), AnchorName(E.Offset), E.Offset, {}};
      for (const TDeclMember& M : E.Members)
        Entry.Children.push_back({Utf8(M.Name), AnchorName(M.Offset), M.Offset, {}});
      Kind.Children.push_back(std::move(Entry));
    }
  }
  return Section;
}

}  // namespace

std::vector<TOutlineEntry> OutlineEntries(const TDeclOutline& O) {
  return {SectionOutline(QObject::tr("Interface"), O.Interface),
          SectionOutline(QObject::tr("Implementation"), O.Implementation)};
}

void FillDeclView(TDeclView& View, const QString& Path, const QColor& CommentColor) {
  // The unit is loaded again and released as soon as its outline is taken.
  TDeclOutline Outline;
  const TUnitLoad L =
      TryLoadUnit(QFile::encodeName(Path).toStdString(), [&](const TUnit& U) { Outline = BuildDeclOutline(U); });
  if (!L.Facts) {
    View.SetMessage(QObject::tr("No declarations: the file did not load.\n\n%1").arg(DisplayText(L.Error)));
    return;
  }
  auto Doc = std::make_unique<QTextDocument>();
  TDeclListingBuilder Builder(Doc.get(), CommentColor);
  TListingSink Sink(Builder);
  WriteDeclListing(Outline, Sink);
  View.SetListing(std::move(Doc), Builder.Anchors(), OutlineEntries(Outline));
}
