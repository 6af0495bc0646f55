//===- Collector.cpp - The contract interface of a translation unit --------===//
//
// The rules here mirror what <corvane/actions.hpp> can encode: a type
// accepted here must be one the SDK's codec handles, and the other way
// round, or the description would promise calls that the contract cannot
// decode.  Both take their limits and the action-name rules from
// <corvane/detail/rules.hpp>; the types described here are read back
// through the interface model's own grammar, and the wire-format vectors
// of the tests hold the two codecs to one encoding.
//
//===----------------------------------------------------------------------===//

#include "Collector.h"
#include "Escape.h"

#include "clang/AST/ASTContext.h"
#include "clang/AST/DeclCXX.h"
#include "clang/AST/DeclTemplate.h"
#include "clang/AST/Expr.h"
#include "clang/AST/ExprCXX.h"
#include "clang/AST/RecursiveASTVisitor.h"
#include "clang/Basic/CharInfo.h"
#include "clang/Basic/Diagnostic.h"
#include "clang/Basic/SourceManager.h"
#include "llvm/ADT/DenseMap.h"
#include "llvm/ADT/Optional.h"
#include "llvm/ADT/StringSet.h"

#include <map>

using namespace clang;
using namespace llvm;

namespace ifacewriter {
namespace {

// The declarations as they are described, with types in the grammar's
// spelling; finish() reads them into the interface model.
struct Field {
  std::string Name;
  std::string Type;
};

struct Action {
  std::string Name;
  std::vector<Field> Params;
  std::string Result;
};

struct Struct {
  std::string Name;
  std::vector<Field> Fields;
};

struct Table {
  std::string Name;
  std::string Key;
  std::string Value;
};

constexpr unsigned MaxStructFields = zo::abi::MaxStructFields;

//===----------------------------------------------------------------------===//
// Declarations of the SDK.
//===----------------------------------------------------------------------===//

/// Whether D is declared directly in the top-level namespace corvane.
bool isInCorvane(const Decl *D) {
  const auto *NS = dyn_cast<NamespaceDecl>(D->getDeclContext());
  return NS && NS->getName() == "corvane" &&
         NS->getParent()->getRedeclContext()->isTranslationUnit();
}

bool isDispatcher(const FunctionDecl *FD) {
  return FD && FD->getPrimaryTemplate() && FD->getName() == "dispatch" && isInCorvane(FD);
}

/// The specialization of the SDK's corvane::table that T is, if it is one.
const ClassTemplateSpecializationDecl *asTable(QualType T) {
  const auto *Spec =
      dyn_cast_or_null<ClassTemplateSpecializationDecl>(T.getCanonicalType()->getAsCXXRecordDecl());
  if (!Spec || Spec->getName() != "table" || !isInCorvane(Spec))
    return nullptr;
  return Spec;
}

/// The names of an action list as CORVANE_ACTIONS spells it, cut as the
/// SDK cuts them.
SmallVector<StringRef, 8> actionNames(StringRef List) {
  SmallVector<StringRef, 8> Names;
  std::string_view Whole(List.data(), List.size());
  corvane::detail::split_action_names(Whole, [&](size_t, std::string_view Name) {
    Names.push_back(StringRef(Name.data(), Name.size()));
  });
  return Names;
}

const clang::StringLiteral *asNarrowLiteral(const Expr *E) {
  const auto *Literal =
      dyn_cast_or_null<clang::StringLiteral>(E ? E->IgnoreParenImpCasts() : nullptr);
  if (!Literal || Literal->getCharByteWidth() != 1)
    return nullptr;
  return Literal;
}

//===----------------------------------------------------------------------===//
// Types.
//===----------------------------------------------------------------------===//

/// Why a type cannot be encoded, and where the declaration that shows it is
/// when that is not the use being reported.
struct Problem {
  std::string Reason;
  SourceLocation Where;
  std::string WhereNote;
};

class TypeDescriber {
public:
  explicit TypeDescriber(ASTContext &Ctx) : Ctx(Ctx) {}

  /// The wire type of T, or None with P saying why there is none.
  Optional<std::string> describe(QualType T, Problem &P);

  /// std::string_view, which actions may take (decoded into a string that
  /// outlives the call) but nothing may hold.
  bool isStringView(QualType T) const {
    const ClassTemplateSpecializationDecl *Spec = stdSpecialization(T, "basic_string_view");
    return Spec && !typeArg(Spec, 0).isNull() && Ctx.hasSameType(typeArg(Spec, 0), Ctx.CharTy);
  }

  std::vector<Struct> structs() const {
    std::vector<Struct> Sorted;
    for (const auto &Entry : Structs)
      Sorted.push_back(Entry.second);
    return Sorted;
  }

private:
  static const ClassTemplateSpecializationDecl *stdSpecialization(QualType T, StringRef Name) {
    const auto *Spec = dyn_cast_or_null<ClassTemplateSpecializationDecl>(
        T.getCanonicalType()->getAsCXXRecordDecl());
    if (!Spec || !Spec->isInStdNamespace() || Spec->getName() != Name)
      return nullptr;
    return Spec;
  }

  /// The I-th template argument of Spec when it is a type, else null.
  static QualType typeArg(const ClassTemplateSpecializationDecl *Spec, unsigned I) {
    const TemplateArgumentList &Args = Spec->getTemplateArgs();
    if (I >= Args.size() || Args[I].getKind() != TemplateArgument::Type)
      return QualType();
    return Args[I].getAsType();
  }

  /// Whether T is std::Name<Args...>.
  bool isStd(QualType T, StringRef Name, ArrayRef<QualType> Args) const {
    const ClassTemplateSpecializationDecl *Spec = stdSpecialization(T, Name);
    if (!Spec || Spec->getTemplateArgs().size() != Args.size())
      return false;
    for (unsigned I = 0; I < Args.size(); ++I) {
      const TemplateArgument &Arg = Spec->getTemplateArgs()[I];
      if (Arg.getKind() != TemplateArgument::Type || !Ctx.hasSameType(Arg.getAsType(), Args[I]))
        return false;
    }
    return true;
  }

  Optional<std::string> describeBuiltin(const BuiltinType *BT, QualType T, Problem &P);
  Optional<std::string> describeStd(const ClassTemplateSpecializationDecl *Spec, Problem &P);
  Optional<std::string> describeStruct(const CXXRecordDecl *RD, Problem &P);

  ASTContext &Ctx;
  /// The structs described or being described, so that a struct that
  /// contains itself through a vector ends.
  DenseMap<const CXXRecordDecl *, std::string> Named;
  std::map<std::string, const CXXRecordDecl *> ByName;
  std::map<std::string, Struct> Structs;
};

Optional<std::string> TypeDescriber::describe(QualType T, Problem &P) {
  T = T.getCanonicalType();
  if (T.isVolatileQualified()) {
    P.Reason = "volatile types are not supported";
    return None;
  }
  T = T.getUnqualifiedType();
  if (T->isReferenceType()) {
    P.Reason = "references are only allowed as const action parameters";
    return None;
  }
  if (const auto *BT = T->getAs<BuiltinType>())
    return describeBuiltin(BT, T, P);
  if (T->isEnumeralType()) {
    P.Reason = "enumerations are not supported; use an integer type";
    return None;
  }
  if (T->isAnyPointerType() || T->isMemberPointerType()) {
    P.Reason = "pointers are not supported";
    return None;
  }
  if (T->isArrayType()) {
    P.Reason = "arrays are not supported; use std::vector";
    return None;
  }
  const CXXRecordDecl *RD = T->getAsCXXRecordDecl();
  if (!RD) {
    P.Reason = "this kind of type is not supported";
    return None;
  }
  if (RD->isInStdNamespace()) {
    if (const auto *Spec = dyn_cast<ClassTemplateSpecializationDecl>(RD))
      return describeStd(Spec, P);
    P.Reason = "of the standard library only std::string, std::vector and std::map are supported";
    return None;
  }
  return describeStruct(RD, P);
}

Optional<std::string> TypeDescriber::describeBuiltin(const BuiltinType *BT, QualType T,
                                                     Problem &P) {
  switch (BT->getKind()) {
  case BuiltinType::Bool:
    return std::string("bool");
  case BuiltinType::Char_S:
  case BuiltinType::Char_U:
    P.Reason = "plain char has no fixed signedness; use int8_t, uint8_t or std::string";
    return None;
  case BuiltinType::SChar:
  case BuiltinType::UChar:
  case BuiltinType::Short:
  case BuiltinType::UShort:
  case BuiltinType::Int:
  case BuiltinType::UInt:
  case BuiltinType::Long:
  case BuiltinType::ULong:
  case BuiltinType::LongLong:
  case BuiltinType::ULongLong: {
    uint64_t Width = Ctx.getTypeSize(T);
    if (Width > 64) {
      P.Reason = "integers wider than 64 bits are not supported";
      return None;
    }
    return (T->isSignedIntegerType() ? "int" : "uint") + std::to_string(Width);
  }
  case BuiltinType::Int128:
  case BuiltinType::UInt128:
    P.Reason = "integers wider than 64 bits are not supported";
    return None;
  case BuiltinType::WChar_S:
  case BuiltinType::WChar_U:
  case BuiltinType::Char8:
  case BuiltinType::Char16:
  case BuiltinType::Char32:
    P.Reason = "character types are not supported; use std::string or an integer type";
    return None;
  case BuiltinType::Void:
    P.Reason = "void is only allowed as an action's result";
    return None;
  default:
    break;
  }
  P.Reason = BT->isFloatingPoint() ? "floating-point numbers are not supported"
                                   : "this kind of type is not supported";
  return None;
}

Optional<std::string> TypeDescriber::describeStd(const ClassTemplateSpecializationDecl *Spec,
                                                 Problem &P) {
  auto arg = [&](unsigned I) { return typeArg(Spec, I); };
  StringRef Name = Spec->getName();
  QualType Char = Ctx.CharTy;

  if (Name == "basic_string") {
    QualType Element = arg(0), Traits = arg(1), Alloc = arg(2);
    if (!Element.isNull() && Ctx.hasSameType(Element, Char) && !Traits.isNull() &&
        !Alloc.isNull() && isStd(Traits, "char_traits", {Char}) &&
        isStd(Alloc, "allocator", {Char}))
      return std::string("string");
    P.Reason = "of the string types only std::string is supported";
    return None;
  }
  if (Name == "basic_string_view") {
    P.Reason = "std::string_view is only allowed as an action parameter; use std::string";
    return None;
  }
  if (Name == "vector") {
    QualType Element = arg(0), Alloc = arg(1);
    if (Element.isNull() || Alloc.isNull() || !isStd(Alloc, "allocator", {Element})) {
      P.Reason = "vectors with their own allocator are not supported";
      return None;
    }
    Optional<std::string> ElementType = describe(Element, P);
    if (!ElementType) {
      P.Reason = "vector element: " + P.Reason;
      return None;
    }
    return "vector<" + *ElementType + ">";
  }
  if (Name == "map") {
    QualType Key = arg(0), Value = arg(1), Less = arg(2), Alloc = arg(3);
    if (Key.isNull() || Value.isNull() || Less.isNull() || Alloc.isNull() ||
        !isStd(Less, "less", {Key})) {
      P.Reason = "maps with their own ordering are not supported";
      return None;
    }
    const ClassTemplateSpecializationDecl *Allocator = stdSpecialization(Alloc, "allocator");
    QualType Entry = Allocator ? typeArg(Allocator, 0) : QualType();
    if (Entry.isNull() || !isStd(Entry, "pair", {Key.withConst(), Value})) {
      P.Reason = "maps with their own allocator are not supported";
      return None;
    }
    Optional<std::string> KeyType = describe(Key, P);
    if (!KeyType) {
      P.Reason = "map key: " + P.Reason;
      return None;
    }
    if (*KeyType != "bool" && *KeyType != "string" && !StringRef(*KeyType).startswith("int") &&
        !StringRef(*KeyType).startswith("uint")) {
      P.Reason = "map keys must be bool, integers or std::string";
      return None;
    }
    Optional<std::string> ValueType = describe(Value, P);
    if (!ValueType) {
      P.Reason = "map value: " + P.Reason;
      return None;
    }
    return "map<" + *KeyType + "," + *ValueType + ">";
  }
  P.Reason = "of the standard library only std::string, std::vector and std::map are supported";
  return None;
}

Optional<std::string> TypeDescriber::describeStruct(const CXXRecordDecl *RD, Problem &P) {
  if (RD->isUnion()) {
    P.Reason = "unions are not supported";
    return None;
  }
  if (RD->isLambda()) {
    P.Reason = "lambdas are not supported";
    return None;
  }
  const CXXRecordDecl *Def = RD->getDefinition();
  if (!Def) {
    P.Reason = "the type is incomplete";
    return None;
  }
  auto Found = Named.find(Def);
  if (Found != Named.end())
    return Found->second;

  if (isa<ClassTemplateSpecializationDecl>(Def)) {
    P.Reason = "class template specializations are not supported; use a plain struct";
    return None;
  }
  if (Def->isPolymorphic()) {
    P.Reason = "the struct has virtual functions";
    return None;
  }
  if (Def->getNumBases() != 0) {
    P.Reason = "the struct has base classes";
    return None;
  }
  std::string Name;
  if (Def->getIdentifier())
    Name = Def->getName().str();
  else if (const TypedefNameDecl *Typedef = Def->getTypedefNameForAnonDecl())
    Name = Typedef->getName().str();
  if (Name.empty()) {
    P.Reason = "unnamed structs are not supported";
    return None;
  }

  unsigned Count = 0;
  for (const FieldDecl *F : Def->fields()) {
    ++Count;
    auto fail = [&](const std::string &Why) {
      P.Reason = "field '" + F->getNameAsString() + "' " + Why;
      if (P.Where.isInvalid()) {
        P.Where = F->getLocation();
        P.WhereNote = "field '" + F->getNameAsString() + "' of '" + Name + "' declared here";
      }
      return None;
    };
    if (F->getAccess() != AS_public)
      return fail("is not public");
    if (F->isBitField())
      return fail("is a bit-field");
    if (F->isAnonymousStructOrUnion())
      return fail("is an anonymous struct or union");
    if (F->getType().isConstQualified())
      return fail("is const and could not be decoded");
  }
  if (!Def->isAggregate()) {
    P.Reason = "the struct is not an aggregate (it has user-provided constructors)";
    return None;
  }
  if (Count == 0) {
    P.Reason = "the struct has no fields";
    return None;
  }
  if (Count > MaxStructFields) {
    P.Reason = "the struct has " + std::to_string(Count) + " fields; at most " +
               std::to_string(MaxStructFields) + " are supported";
    return None;
  }

  auto Owner = ByName.find(Name);
  if (Owner != ByName.end() && Owner->second != Def) {
    P.Reason = "another struct named '" + Name + "' is already part of the interface";
    P.Where = Owner->second->getLocation();
    P.WhereNote = "the other struct '" + Name + "' is declared here";
    return None;
  }

  // Named before its fields are described: a field may lead back to it.
  Named[Def] = Name;
  Struct S;
  S.Name = Name;
  for (const FieldDecl *F : Def->fields()) {
    Optional<std::string> Type = describe(F->getType(), P);
    if (!Type) {
      Named.erase(Def);
      P.Reason = "field '" + F->getNameAsString() + "' of '" + Name + "': " + P.Reason;
      if (P.Where.isInvalid()) {
        P.Where = F->getLocation();
        P.WhereNote = "field '" + F->getNameAsString() + "' of '" + Name + "' declared here";
      }
      return None;
    }
    S.Fields.push_back({F->getNameAsString(), *Type});
  }
  ByName[Name] = Def;
  Structs[Name] = std::move(S);
  return Name;
}

//===----------------------------------------------------------------------===//
// Declarations.
//===----------------------------------------------------------------------===//

class Finder : public RecursiveASTVisitor<Finder> {
public:
  std::vector<const CallExpr *> Dispatches;
  std::vector<const VarDecl *> Tables;

  bool VisitCallExpr(CallExpr *E) {
    if (!E->isInstantiationDependent() && isDispatcher(E->getDirectCallee()))
      Dispatches.push_back(E);
    return true;
  }

  bool VisitVarDecl(VarDecl *VD) {
    if (isa<ParmVarDecl>(VD) || VD->isInvalidDecl() || VD->getDeclContext()->isDependentContext() ||
        VD->getType()->isDependentType() ||
        VD->isThisDeclarationADefinition() == VarDecl::DeclarationOnly)
      return true;
    if (asTable(VD->getType()))
      Tables.push_back(VD);
    return true;
  }
};

/// The name a table variable is initialized with, or null when it copies
/// another table (that one is listed where it is declared).
const clang::StringLiteral *tableName(const VarDecl *VD, bool &IsCopy) {
  IsCopy = false;
  const Expr *Init = VD->getInit();
  while (Init) {
    Init = Init->IgnoreImplicit();
    if (const auto *Cast = dyn_cast<CXXFunctionalCastExpr>(Init)) {
      Init = Cast->getSubExpr();
      continue;
    }
    const auto *Construct = dyn_cast<CXXConstructExpr>(Init);
    if (!Construct || Construct->getNumArgs() == 0)
      return nullptr;
    if (Construct->getConstructor()->isCopyOrMoveConstructor()) {
      IsCopy = true;
      return nullptr;
    }
    return asNarrowLiteral(Construct->getArg(0));
  }
  return nullptr;
}

} // namespace

struct Collector::State {
  explicit State(ASTContext &Ctx) : Ctx(Ctx), Diags(Ctx.getDiagnostics()), Types(Ctx) {}

  void error(SourceLocation Loc, const Twine &Text) {
    Diags.Report(Loc, Diags.getCustomDiagID(DiagnosticsEngine::Error, "%0")) << Text.str();
    Failed = true;
  }
  void note(SourceLocation Loc, const Twine &Text) {
    Diags.Report(Loc, Diags.getCustomDiagID(DiagnosticsEngine::Note, "%0")) << Text.str();
  }

  /// "USE has unsupported type 'T': REASON", with a note at the declaration
  /// that the reason is about.
  void unsupported(SourceLocation Loc, const Twine &Use, QualType T, const Problem &P) {
    unsigned ID = Diags.getCustomDiagID(DiagnosticsEngine::Error, "%0 has unsupported type %1: %2");
    Diags.Report(Loc, ID) << Use.str() << T << P.Reason;
    Failed = true;
    if (P.Where.isValid())
      note(P.Where, P.WhereNote);
  }

  void checkActions(const CallExpr *Call);
  void checkAction(const FunctionDecl *FD, StringRef Name, SourceLocation ListLoc);
  void checkTable(const VarDecl *VD);

  struct ListedAction {
    const FunctionDecl *Decl;
    Action Described; // parameter names are filled in at the end
  };
  struct DeclaredTable {
    const VarDecl *Decl;
    Table Described;
  };

  ASTContext &Ctx;
  DiagnosticsEngine &Diags;
  TypeDescriber Types;
  const CallExpr *List = nullptr;
  std::vector<ListedAction> Actions;
  std::map<std::string, DeclaredTable> Tables;
  bool Failed = false;
};

void Collector::State::checkActions(const CallExpr *Call) {
  SourceLocation Loc = Call->getBeginLoc();
  const clang::StringLiteral *Names =
      Call->getNumArgs() > 0 ? asNarrowLiteral(Call->getArg(0)) : nullptr;
  if (!Names) {
    error(Loc, "the action list's names must be a string literal, as CORVANE_ACTIONS writes them");
    return;
  }
  SmallVector<StringRef, 8> Split = actionNames(Names->getString());

  SmallVector<const TemplateArgument *, 8> Listed;
  for (const TemplateArgument &Arg :
       Call->getDirectCallee()->getTemplateSpecializationArgs()->asArray()) {
    if (Arg.getKind() != TemplateArgument::Pack) {
      Listed.push_back(&Arg);
      continue;
    }
    for (const TemplateArgument &Element : Arg.pack_elements())
      Listed.push_back(&Element);
  }
  if (Split.size() != Listed.size()) {
    // CORVANE_ACTIONS's static_assert has said so already.
    if (!Diags.hasErrorOccurred())
      error(Loc, "the action list names " + Twine(Split.size()) + " actions but has " +
                     Twine(Listed.size()) + "; list functions by their plain names");
    Failed = true;
    return;
  }

  StringSet<> Seen;
  for (unsigned I = 0; I < Listed.size(); ++I) {
    StringRef Name = Split[I];
    const FunctionDecl *FD = Listed[I]->getKind() == TemplateArgument::Declaration
                                 ? dyn_cast<FunctionDecl>(Listed[I]->getAsDecl())
                                 : nullptr;
    const auto *Method = dyn_cast_or_null<CXXMethodDecl>(FD);
    if (!FD || (Method && !Method->isStatic())) {
      error(Loc, "action " + Twine(I + 1) + " ('" + zo::escaped(Name) + "') is not a function");
      continue;
    }
    if (!corvane::detail::is_identifier(std::string_view(Name.data(), Name.size()))) {
      error(Loc, "action name '" + zo::escaped(Name) +
                     "' is not an identifier; list functions by their "
                     "plain names");
      continue;
    }
    if (!Seen.insert(Name).second) {
      error(Loc, "action '" + Name + "' is listed twice");
      continue;
    }
    checkAction(FD, Name, Loc);
  }
}

void Collector::State::checkAction(const FunctionDecl *FD, StringRef Name, SourceLocation ListLoc) {
  ListedAction Entry{FD, {}};
  Action &A = Entry.Described;
  A.Name = Name.str();
  bool Good = true;
  if (FD->isVariadic()) {
    error(FD->getLocation(), "action '" + Name + "' is variadic");
    note(ListLoc, "listed as an action here");
    Good = false;
  }

  for (const ParmVarDecl *Param : FD->parameters()) {
    SourceLocation Loc = Param->getLocation().isValid() ? Param->getLocation() : FD->getLocation();
    std::string Use = Param->getName().empty()
                          ? "parameter " + std::to_string(Param->getFunctionScopeIndex() + 1)
                          : "parameter '" + Param->getNameAsString() + "'";
    Use += " of action '" + A.Name + "'";
    QualType Written = Param->getOriginalType();
    QualType T = Written;
    Problem P;
    if (const auto *Ref = T->getAs<ReferenceType>()) {
      QualType Pointee = Ref->getPointeeType();
      if (T->isRValueReferenceType() || !Pointee.isConstQualified() ||
          Pointee.isVolatileQualified()) {
        P.Reason = "non-const references are not supported; take a value or a const reference";
        unsupported(Loc, Use, Written, P);
        Good = false;
        continue;
      }
      T = Pointee;
    }
    Optional<std::string> Type =
        Types.isStringView(T) ? Optional<std::string>("string") : Types.describe(T, P);
    if (!Type) {
      unsupported(Loc, Use, Written, P);
      Good = false;
      continue;
    }
    A.Params.push_back({std::string(), *Type});
  }

  QualType Result = FD->getReturnType();
  SourceLocation ResultLoc = FD->getReturnTypeSourceRange().getBegin();
  if (ResultLoc.isInvalid())
    ResultLoc = FD->getLocation();
  std::string Use = "result of action '" + A.Name + "'";
  Problem P;
  if (Result->isVoidType()) {
    A.Result = "void";
  } else if (Result->isReferenceType()) {
    P.Reason = "actions return values, not references";
    unsupported(ResultLoc, Use, Result, P);
    Good = false;
  } else if (Optional<std::string> Type = Types.describe(Result, P)) {
    A.Result = *Type;
  } else {
    unsupported(ResultLoc, Use, Result, P);
    Good = false;
  }
  if (Good)
    Actions.push_back(std::move(Entry));
}

void Collector::State::checkTable(const VarDecl *VD) {
  SourceLocation Loc = VD->getLocation();
  bool IsCopy;
  const clang::StringLiteral *Literal = tableName(VD, IsCopy);
  if (IsCopy)
    return;
  if (!Literal) {
    error(Loc, "table '" + VD->getName() +
                   "' must be initialized with its name as a string "
                   "literal");
    return;
  }
  Table T;
  T.Name = Literal->getString().str();
  if (!corvane::detail::is_identifier(T.Name)) {
    error(Loc, "table name '" + zo::escaped(T.Name) + "' is not an identifier");
    return;
  }

  const TemplateArgumentList &Args = asTable(VD->getType())->getTemplateArgs();
  QualType KeyType = Args[0].getAsType(), ValueType = Args[1].getAsType();
  Problem P;
  Optional<std::string> Key = Types.describe(KeyType, P);
  if (!Key) {
    unsupported(Loc, "key of table '" + T.Name + "'", KeyType, P);
    return;
  }
  P = Problem();
  Optional<std::string> Value = Types.describe(ValueType, P);
  if (!Value) {
    unsupported(Loc, "value of table '" + T.Name + "'", ValueType, P);
    return;
  }
  T.Key = *Key;
  T.Value = *Value;

  auto Found = Tables.find(T.Name);
  if (Found == Tables.end()) {
    Tables.emplace(T.Name, DeclaredTable{VD, T});
    return;
  }
  const Table &Other = Found->second.Described;
  if (Other.Key != T.Key || Other.Value != T.Value) {
    error(Loc, "table '" + T.Name + "' is declared again with other types");
    note(Found->second.Decl->getLocation(), "the first declaration is here");
  }
}

Collector::Collector(ASTContext &Ctx) : S(std::make_unique<State>(Ctx)) {}

Collector::~Collector() = default;

void Collector::check(Decl *D) {
  // The SDK and the libraries declare neither actions nor tables.
  if (D->isInvalidDecl() || S->Ctx.getSourceManager().isInSystemHeader(D->getLocation()))
    return;
  Finder F;
  F.TraverseDecl(D);
  for (const CallExpr *Call : F.Dispatches) {
    if (S->List) {
      S->error(Call->getBeginLoc(), "a contract has one action list (CORVANE_ACTIONS)");
      S->note(S->List->getBeginLoc(), "the first action list is here");
      continue;
    }
    S->List = Call;
    S->checkActions(Call);
  }
  for (const VarDecl *VD : F.Tables)
    S->checkTable(VD);
}

bool Collector::failed() const { return S->Failed; }

Description Collector::finish(StringRef Message) {
  Description D;
  D.HasActions = S->List != nullptr;
  zo::abi::Interface &I = D.Iface;
  I.Message = Message.str();
  // The grammar of the model reads what was described here; a type it
  // refuses is a fault of this plug-in, reported rather than written.
  auto TypeOf = [&](StringRef Text, bool AllowVoid = false) -> const zo::abi::Type * {
    Expected<const zo::abi::Type *> T = I.parseType(Text, AllowVoid);
    if (T)
      return *T;
    S->error(SourceLocation(), "internal error: the interface model refuses type '" + Text +
                                   "': " + toString(T.takeError()));
    return nullptr;
  };
  auto FieldsOf = [&](const std::vector<Field> &Fields) {
    std::vector<zo::abi::Field> Read;
    for (const Field &F : Fields)
      Read.push_back({F.Name, TypeOf(F.Type)});
    return Read;
  };

  std::vector<Struct> Structs = S->Types.structs();
  std::vector<zo::abi::StructType *> Added;
  for (const Struct &St : Structs) {
    Expected<zo::abi::StructType *> A = I.addStruct(St.Name);
    if (!A) {
      S->error(SourceLocation(), "internal error: " + toString(A.takeError()));
      return D;
    }
    Added.push_back(*A);
  }
  for (size_t Idx = 0; Idx < Structs.size(); ++Idx)
    Added[Idx]->Fields = FieldsOf(Structs[Idx].Fields);

  for (State::ListedAction &Entry : S->Actions) {
    // The definition names the parameters as the body uses them.
    const FunctionDecl *FD = Entry.Decl->getDefinition();
    if (!FD)
      FD = Entry.Decl;
    Action &A = Entry.Described;
    for (const ParmVarDecl *Param : FD->parameters()) {
      unsigned Index = Param->getFunctionScopeIndex();
      if (Param->getName().empty())
        S->error(Param->getLocation().isValid() ? Param->getLocation() : FD->getLocation(),
                 "parameter " + Twine(Index + 1) + " of action '" + A.Name +
                     "' has no name; the interface names every parameter");
      else
        A.Params[Index].Name = Param->getNameAsString();
    }
    I.Actions.push_back({A.Name, FieldsOf(A.Params), TypeOf(A.Result, /*AllowVoid=*/true)});
  }
  for (const auto &Entry : S->Tables) {
    const Table &T = Entry.second.Described;
    I.Tables.push_back({T.Name, TypeOf(T.Key), TypeOf(T.Value)});
  }
  return D;
}

} // namespace ifacewriter
