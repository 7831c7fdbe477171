// A Declarations view filled from the declarations outline of a unit file (see FillDeclView.h).
#include "FillDeclView.h"

#include <QFile>
#include <map>
#include <unordered_set>

#include "CodeListing.h"
#include "DCU_Text.h"
#include "DCU_Unit.h"
#include "DeclListing.h"
#include "DeclOutline.h"
#include "DeclSkeleton.h"
#include "DeclView.h"
#include "ListingView.h"
#include "UnitLoad.h"
#include "UnitSummary.h"

namespace {

// Hands the listing's runs to the text of the view. The names of routines
// that have code (their tag bytes in Coded) lead to it.
class TListingSink : public TDeclSink {
 public:
  TListingSink(TListingText& To, const std::unordered_set<int64_t>& Coded) : To(To), Coded(Coded) {}
  void Run(TDeclRunKind Kind, std::string_view Text, int64_t Anchor) override {
    switch (Kind) {
      case TDeclRunKind::Plain: To.AddUtf8(TRunStyle::Plain, Text); break;
      case TDeclRunKind::Keyword: To.AddUtf8(TRunStyle::Keyword, Text); break;
      case TDeclRunKind::Comment: To.AddUtf8(TRunStyle::Comment, Text); break;
      case TDeclRunKind::NameDef:
        To.AddUtf8(Coded.count(Anchor) ? TRunStyle::NameLink : TRunStyle::Name, Text, Anchor);
        break;
      case TDeclRunKind::TypeRef:
        // A type of another unit leads there (the view finds the unit).
        To.AddUtf8(TRunStyle::Link, Text, Anchor == NoAnchor ? OutsideAnchor : Anchor);
        break;
    }
  }
  void EndLine() override { To.EndLine(); }

 private:
  TListingText& To;
  const std::unordered_set<int64_t>& Coded;
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

void AddSection(TOutlineTree& T, const QString& Title, const TDeclSection& S) {
  const int32_t Section = T.Add(TOutlineTree::Top, Title);
  // One node per kind, in the order the kinds first occur; the entries of
  // every block of that kind under it in file order.
  std::map<QString, int32_t> KindAt;
  for (const TDeclBlock& B : S.Blocks) {
    const QString Heading = KindHeading(B.Kind);
    auto It = KindAt.find(Heading);
    if (It == KindAt.end()) It = KindAt.emplace(Heading, T.Add(Section, Heading)).first;
    for (const TDeclEntry& E : B.Entries) {
      const int32_t Entry = T.AddUtf8(It->second, E.Name, E.Offset, E.Offset);
      for (const TDeclMember& M : E.Members) T.AddUtf8(Entry, M.Name, M.Offset, M.Offset);
    }
  }
}

}  // namespace

TOutlineTree OutlineTree(const TDeclOutline& O) {
  TOutlineTree T;
  AddSection(T, QObject::tr("Interface"), O.Interface);
  AddSection(T, QObject::tr("Implementation"), O.Implementation);
  return T;
}

namespace {

// The listing of Outline into View; Stop, when not empty, is written after
// it as a comment of its own.
void ShowListing(TDeclView& View, const TDeclOutline& Outline, const std::unordered_set<int64_t>& Coded,
                 const QColor& CommentColor, const std::string& Stop) {
  TListingText Text;
  TListingSink Sink(Text, Coded);
  WriteDeclListing(Outline, Sink);
  TDeclTextSink Pas;
  WriteDeclSkeleton(Outline, Pas);
  View.Skeleton = QString::fromStdString(Pas.Out);
  if (!Stop.empty()) {
    Text.EndLine();
    Text.AddUtf8(TRunStyle::Comment, Stop);
    Text.EndLine();
  }
  View.Listing->SetCommentColor(CommentColor);
  View.SetListing(std::move(Text), OutlineTree(Outline));
}

// The unit's type declarations by lower-case name, and its other
// declarations, the first of a name kept.
void NoteTypeDecls(TDeclView& View, const TDeclOutline& O) {
  View.TypeDecls.clear();
  View.OtherDecls.clear();
  for (const TDeclSection* S : {&O.Interface, &O.Implementation})
    for (const TDeclBlock& B : S->Blocks) {
      QHash<QString, int64_t>& To = B.Kind == TDeclKind::Type ? View.TypeDecls : View.OtherDecls;
      for (const TDeclEntry& E : B.Entries) To.insert(QString::fromStdString(DisplayUtf8(E.Name.view())).toLower(), E.Offset);
    }
}

void NoteUses(TDeclView& View, int32_t Version, const std::vector<TUsedUnitFacts>& Uses) {
  View.UnitVersion = Version;
  View.UsedUnits.clear();
  for (const TUsedUnitFacts& Use : Uses)
    if (Use.UseKind != DllImports) View.UsedUnits << QString::fromStdString(DisplayUtf8(Use.Name));
}

std::unordered_set<int64_t> CodedRoutines(const TUnit& U) {
  std::unordered_set<int64_t> Coded;
  TCodeOptions Options;
  Options.ReadSources = false;
  const TCodeLister Lister(U, Options);
  for (size_t I = 0; I < Lister.RoutineCount(); ++I) Coded.insert(Lister.Head(I).DeclOffset);
  return Coded;
}

}  // namespace

void FillDeclView(TDeclView& View, const QString& Path, const QColor& CommentColor, TUsedTypes* Used) {
  // The unit is loaded again and released as soon as its outline and the
  // tag bytes of its routines with code are taken.
  TDeclOutline Outline;
  std::unordered_set<int64_t> Coded;
  TDeclOutlineOptions Options;
  Options.Used = Used;
  const TUnitLoad L = TryLoadUnit(QFile::encodeName(Path).toStdString(), [&](const TUnit& U) {
    Outline = BuildDeclOutline(U, Options);
    Coded = CodedRoutines(U);
  });
  if (!L.Facts) {
    if (!FillPartialDeclView(View, Path, CommentColor, Used))
      View.SetMessage(QObject::tr("No declarations: the file did not load.\n\n%1").arg(QString::fromStdString(DisplayText(L.Error))));
    return;
  }
  NoteUses(View, L.Facts->Version, L.Facts->UsedUnits);
  NoteTypeDecls(View, Outline);
  ShowListing(View, Outline, Coded, CommentColor, {});
}

bool FillPartialDeclView(TDeclView& View, const QString& Path, const QColor& CommentColor, TUsedTypes* Used) {
  TUnitLoad Failure;
  std::unique_ptr<TUnit> U = TryLoadUnitPartial(QFile::encodeName(Path).toStdString(), Failure);
  if (!U || !U->ReadFailure) return false;
  TDeclOutlineOptions Options;
  Options.Used = Used;
  const TDeclOutline Outline = BuildDeclOutline(*U, Options);
  View.UnitVersion = U->Version;
  NoteTypeDecls(View, Outline);
  std::string Stop = PartialStopLine(Failure);
  Stop.pop_back();  // its line break
  Stop += " {" + Failure.Error + "}";
  ShowListing(View, Outline, CodedRoutines(*U), CommentColor, DisplayUtf8(Stop));
  return true;
}
