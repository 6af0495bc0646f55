//===- Chain.cpp - Accounts, deployed contracts and their calls -----------===//
//
// Each call is a transaction of one call on the engine, over the contract's
// storage held in memory: committed when the call succeeded and its result
// decodes, dropped otherwise.
//
//===----------------------------------------------------------------------===//

#include "Shown.h"

#include "Codec.h"
#include "ContractCode.h"
#include "ContractInstance.h"
#include "Escape.h"
#include "Failure.h"
#include "Host.h"
#include "Storage.h"

#include "llvm/ADT/StringExtras.h"
#include "llvm/Support/JSON.h"
#include "llvm/Support/raw_ostream.h"

#include <set>

using namespace llvm;
using namespace zo;
using namespace zo::engine;

namespace corvane::testing {

namespace {
/// Strings reach the codec as JSON text, which holds UTF-8 only: refuse
/// others rather than pass U+FFFD in their place.
void requireUtf8(const Value &V, const std::string &What) {
  auto Check = [&](const std::string &S) {
    if (!json::isUTF8(S))
      throw Error(What + ": the string " + shown(Value(json::fixUTF8(S))) +
                  " is not UTF-8; give bytes with call_raw");
  };
  if (V.is_string())
    Check(V.as_string());
  else if (V.is_array())
    for (const Value &Item : V.as_array())
      requireUtf8(Item, What);
  else if (V.is_object())
    for (const auto &[Key, Item] : V.as_object()) {
      Check(Key);
      requireUtf8(Item, What);
    }
}

std::string messageOf(llvm::Error E) { return toString(std::move(E)); }

/// The codec's messages about a lone value name it "value".
std::string valueMessage(llvm::Error E) {
  std::string Text = messageOf(std::move(E));
  StringRef Message(Text);
  Message.consume_front("value: ");
  return Message.str();
}

Status statusOf(ExitStatus S) {
  switch (S) {
  case ExitStatus::Abort:
    return Status::aborted;
  case ExitStatus::Exhausted:
    return Status::exhausted;
  case ExitStatus::BadResult:
    return Status::bad_result;
  default:
    return Status::trapped;
  }
}
} // namespace

namespace detail {

struct Deployment {
  ContractCode Code;
  MemoryStorage Storage;
};

/// Collects what a call logs, emits and aborts with.
class Recorder final : public CallObserver {
public:
  Recorder(std::vector<std::string> &Logs, std::vector<Event> &Events, std::string &Abort)
      : Logs(Logs), Events(Events), Abort(Abort) {}
  void logged(StringRef Text) override { Logs.push_back(Text.str()); }
  void emitted(StringRef Name, StringRef Data) override {
    Events.push_back({Name.str(), Data.str()});
  }
  void aborted(StringRef Message) override { Abort = Message.str(); }

private:
  std::vector<std::string> &Logs;
  std::vector<Event> &Events;
  std::string &Abort;
};

class ChainState {
public:
  explicit ChainState(ChainOptions Options) : Options(Options) {}

  ChainOptions Options;
  Block CurrentBlock;
  std::set<std::string, std::less<>> Accounts;
  std::map<std::string, std::unique_ptr<Deployment>, std::less<>> Contracts;

  Deployment &deployment(std::string_view Account) {
    auto Found = Contracts.find(Account);
    if (Found == Contracts.end())
      throw Error("no contract is deployed under '" + escaped(Account) + "'");
    return *Found->second;
  }

  void requireAccount(std::string_view Name, const char *Role) const {
    if (!Accounts.count(Name))
      throw Error(std::string(Role) + " '" + escaped(Name) + "' is not an account of this chain");
  }

  const abi::Interface &interface(std::string_view Account) {
    Deployment &D = deployment(Account);
    if (!D.Code.Iface)
      throw Error(escaped(Account) + " is a bare module: it has no description, only call_raw");
    return *D.Code.Iface;
  }

  const abi::Action &action(std::string_view Account, std::string_view Name) {
    const abi::Interface &I = interface(Account);
    if (const abi::Action *A = I.find(Name))
      return *A;
    std::string List;
    for (const abi::Action &A : I.Actions)
      List += (List.empty() ? "" : ", ") + abi::signature(A);
    throw Error(escaped(Account) + " has no action '" + escaped(Name) + "'; its actions: " + List);
  }

  const abi::Table &table(std::string_view Account, std::string_view Name) {
    const abi::Interface &I = interface(Account);
    std::string List;
    for (const abi::Table &T : I.Tables) {
      if (T.Name == Name)
        return T;
      List += (List.empty() ? "" : ", ") + T.Name;
    }
    throw Error(escaped(Account) + " has no table '" + escaped(Name) + "'" +
                (List.empty() ? std::string("; it describes none") : "; its tables: " + List));
  }

  std::string encodeCall(std::string_view Account, std::string_view Name, std::string_view Json) {
    const abi::Action &A = action(Account, Name);
    abi::Arguments Args;
    if (llvm::Error E = abi::parseArguments(A, StringRef(Json.data(), Json.size()), Args))
      throw Error(escaped(Account) + ": " + messageOf(std::move(E)));
    Expected<std::string> Input = abi::encodeCall(A, Args);
    if (!Input)
      throw Error(escaped(Account) + ": " + messageOf(Input.takeError()));
    return *Input;
  }

  CallResult run(std::string_view Account, const std::string &Caller,
                 const std::vector<std::string> &Auth, const std::optional<Block> &InBlock,
                 std::string Input, const abi::Action *Called) {
    Deployment &D = deployment(Account);
    CallResult R;
    Transaction T;
    T.Input = std::move(Input);
    T.Caller = Caller;
    T.Authorizations = Auth;
    T.Self = std::string(Account);
    const Block &B = InBlock ? *InBlock : CurrentBlock;
    T.BlockHeight = B.height;
    T.BlockTime = B.time;
    T.Store = StorageView(&D.Storage);
    Recorder Observer(R.logs_, R.events_, R.abort_message_);
    T.Observer = &Observer;

    Optional<uint64_t> Executed;
    llvm::Error E = runCalls(
        D.Code, T, nulls(), RunOptions{1, Options.max_instructions, Options.max_log_bytes},
        [&](StringRef Output) {
          R.output_ = Output.str();
          return llvm::Error::success();
        },
        Executed);
    R.instructions_ = Executed.getValueOr(0);
    if (E) {
      handleAllErrors(
          std::move(E),
          [&](const Failure &F) {
            R.status_ = statusOf(F.status());
            R.error_ = F.message();
          },
          [&](const ErrorInfoBase &Other) {
            R.status_ = Status::trapped;
            R.error_ = Other.message();
          });
      R.output_.clear();
      return R;
    }

    if (Called) {
      Expected<std::string> Json = abi::decodeResult(*Called, R.output_);
      if (!Json) {
        R.status_ = Status::bad_result;
        R.error_ = messageOf(Json.takeError());
        return R;
      }
      R.json_ = std::move(*Json);
      if (!R.json_.empty())
        R.value_ = Value::parse(R.json_);
    }
    D.Storage.commit(T.Store.changes());
    return R;
  }

  /// The storage key of \p Key in table \p Tbl, as the SDK builds it.
  std::string tableKey(std::string_view Account, const abi::Table &Tbl, const Value &Key) {
    requireUtf8(Key, escaped(Account) + ": table " + Tbl.Name + ": the key");
    Expected<std::string> Bytes = abi::encodeValue(*Tbl.Key, Key.json());
    if (!Bytes)
      throw Error(escaped(Account) + ": table " + Tbl.Name + ": the key " + shown(Key) +
                  " is not a " + Tbl.Key->Name + ": " + valueMessage(Bytes.takeError()));
    return Tbl.Name + ":" + *Bytes;
  }

  Value tableValue(std::string_view Account, const abi::Table &Tbl, const abi::Type &Ty,
                   StringRef Bytes, StringRef What) {
    Expected<std::string> Json = abi::decodeValue(Ty, Bytes);
    if (!Json)
      throw Error(escaped(Account) + ": table " + Tbl.Name + ": " + What.str() +
                  " does not decode as " + Ty.Name + ": " + messageOf(Json.takeError()));
    return Value::parse(*Json);
  }
};

} // namespace detail

using detail::Deployment;

//===----------------------------------------------------------------------===//
// Results
//===----------------------------------------------------------------------===//

std::ostream &operator<<(std::ostream &OS, Status S) {
  switch (S) {
  case Status::ok:
    return OS << "ok";
  case Status::aborted:
    return OS << "aborted";
  case Status::trapped:
    return OS << "trapped";
  case Status::exhausted:
    return OS << "exhausted";
  case Status::bad_result:
    return OS << "bad_result";
  }
  return OS << "unknown";
}

const Value &CallResult::value() const {
  if (!ok())
    throw Error("the call failed: " + error_);
  return value_;
}

std::string CallResult::json() const {
  value();
  return json_;
}

std::ostream &operator<<(std::ostream &OS, const CallResult &R) {
  if (!R.ok())
    return OS << R.status() << ": " << R.error();
  OS << "ok";
  if (!R.json_.empty())
    OS << ": " << R.json_;
  return OS;
}

//===----------------------------------------------------------------------===//
// Tables
//===----------------------------------------------------------------------===//

const std::string &Table::key_type() const { return chain_->table(account_, name_).Key->Name; }

const std::string &Table::value_type() const { return chain_->table(account_, name_).Value->Name; }

std::optional<Value> Table::get(const Value &Key) const {
  const abi::Table &Tbl = chain_->table(account_, name_);
  std::string StorageKey = chain_->tableKey(account_, Tbl, Key);
  Expected<Optional<std::string>> Stored = chain_->deployment(account_).Storage.get(StorageKey);
  if (!Stored)
    throw Error(messageOf(Stored.takeError()));
  if (!*Stored)
    return std::nullopt;
  return chain_->tableValue(account_, Tbl, *Tbl.Value, **Stored, "the entry under " + shown(Key));
}

std::vector<std::pair<Value, Value>> Table::rows() const {
  const abi::Table &Tbl = chain_->table(account_, name_);
  std::string Prefix = Tbl.Name + ":";
  std::vector<std::pair<Value, Value>> Rows;
  const auto &Entries = chain_->deployment(account_).Storage.entries();
  for (auto It = Entries.lower_bound(Prefix);
       It != Entries.end() && StringRef(It->first).startswith(Prefix); ++It) {
    StringRef KeyBytes = StringRef(It->first).drop_front(Prefix.size());
    Value Key = chain_->tableValue(account_, Tbl, *Tbl.Key, KeyBytes,
                                   "the key 0x" + toHex(KeyBytes, /*LowerCase=*/true));
    Value Item =
        chain_->tableValue(account_, Tbl, *Tbl.Value, It->second, "the entry under " + shown(Key));
    Rows.emplace_back(std::move(Key), std::move(Item));
  }
  return Rows;
}

size_t Table::size() const { return rows().size(); }

//===----------------------------------------------------------------------===//
// Calls
//===----------------------------------------------------------------------===//

Caller::Caller(detail::ChainState *Chain, std::string Account, std::string Name)
    : chain_(Chain), account_(std::move(Account)), caller_(std::move(Name)), auth_{caller_} {
  chain_->deployment(account_);
  chain_->requireAccount(caller_, "the caller");
}

Caller &Caller::at_block(uint64_t Height, uint64_t Time) {
  block_ = Block{Height, Time};
  return *this;
}

Caller &Caller::with_auth(std::vector<std::string> Accounts) {
  for (const std::string &A : Accounts)
    chain_->requireAccount(A, "the authorizing account");
  auth_ = std::move(Accounts);
  return *this;
}

CallResult Caller::call_values(std::string_view Action, std::vector<Value> Args) const {
  const abi::Action &A = chain_->action(account_, Action);
  if (Args.size() != A.Params.size())
    throw Error(escaped(account_) + ": " + abi::signature(A) + " takes " +
                std::to_string(A.Params.size()) + " argument" + (A.Params.size() == 1 ? "" : "s") +
                ", not " + std::to_string(Args.size()));
  Value::Object Named;
  for (size_t I = 0; I < Args.size(); ++I) {
    requireUtf8(Args[I],
                escaped(account_) + ": " + A.Name + ": argument '" + A.Params[I].Name + "'");
    Named.emplace(A.Params[I].Name, std::move(Args[I]));
  }
  return chain_->run(account_, caller_, auth_, block_,
                     chain_->encodeCall(account_, Action, Value(std::move(Named)).json()), &A);
}

CallResult Caller::call_json(std::string_view Action, std::string_view Arguments) const {
  const abi::Action &A = chain_->action(account_, Action);
  return chain_->run(account_, caller_, auth_, block_,
                     chain_->encodeCall(account_, Action, Arguments), &A);
}

CallResult Caller::call_raw(std::string_view Input) const {
  return chain_->run(account_, caller_, auth_, block_, std::string(Input), nullptr);
}

//===----------------------------------------------------------------------===//
// Contracts
//===----------------------------------------------------------------------===//

detail::ChainState &Contract::chain() const {
  if (!chain_)
    throw Error("this Contract names no contract: assign it one that Chain::deploy returned");
  return *chain_;
}

std::vector<std::string> Contract::actions() const {
  std::vector<std::string> Names;
  const Deployment &D = chain().deployment(account_);
  if (D.Code.Iface)
    for (const abi::Action &A : D.Code.Iface->Actions)
      Names.push_back(A.Name);
  return Names;
}

Caller Contract::from(std::string_view Name) const {
  return Caller(&chain(), account_, std::string(Name));
}

CallResult Contract::call_json(std::string_view Action, std::string_view Arguments) const {
  return from(account_).call_json(Action, Arguments);
}

CallResult Contract::call_raw(std::string_view Input) const {
  return from(account_).call_raw(Input);
}

Table Contract::table(std::string_view Name) const {
  chain().table(account_, Name);
  return Table(chain_, account_, std::string(Name));
}

std::map<std::string, std::string> Contract::storage() const {
  const auto &Entries = chain().deployment(account_).Storage.entries();
  return std::map<std::string, std::string>(Entries.begin(), Entries.end());
}

//===----------------------------------------------------------------------===//
// Chains
//===----------------------------------------------------------------------===//

Chain::Chain(ChainOptions Options) : state_(std::make_unique<detail::ChainState>(Options)) {}
Chain::~Chain() = default;
Chain::Chain(Chain &&) noexcept = default;
Chain &Chain::operator=(Chain &&) noexcept = default;

void Chain::create_account(std::string_view Name) {
  if (Name.empty())
    throw Error("an account needs a name");
  if (!state_->Accounts.emplace(Name).second)
    throw Error("the account '" + escaped(Name) + "' exists already");
}

void Chain::create_accounts(std::initializer_list<std::string_view> Names) {
  for (std::string_view Name : Names)
    create_account(Name);
}

bool Chain::has_account(std::string_view Name) const { return state_->Accounts.count(Name); }

Contract Chain::deploy(std::string_view Account, const std::string &Path) {
  if (Account.empty())
    throw Error("a contract needs an account name");
  Expected<ContractCode> Code = readContractCode(Path);
  if (!Code)
    throw Error(messageOf(Code.takeError()));
  // Refuse a module that does not fit the host now rather than at its
  // first call: instantiate it once, running nothing.
  Transaction Probe;
  Host H(Probe, nulls(), 0, 0);
  if (Expected<std::unique_ptr<ContractInstance>> I = instantiate(*Code, H); !I)
    throw Error(messageOf(I.takeError()));

  state_->Accounts.emplace(Account);
  std::unique_ptr<Deployment> &D = state_->Contracts[std::string(Account)];
  if (!D)
    D = std::make_unique<Deployment>();
  D->Code = std::move(*Code);
  return Contract(state_.get(), std::string(Account));
}

Contract Chain::contract(std::string_view Account) const {
  state_->deployment(Account);
  return Contract(state_.get(), std::string(Account));
}

const ChainOptions &Chain::options() const { return state_->Options; }

void Chain::set_options(const ChainOptions &Options) { state_->Options = Options; }

const Block &Chain::block() const { return state_->CurrentBlock; }

void Chain::set_block(uint64_t Height, uint64_t Time) {
  state_->CurrentBlock = Block{Height, Time};
}

} // namespace corvane::testing
