// A poll: anyone opens one with a question and its choices, every account
// votes once, and anyone reads the tally.
//
// The calls are typed actions (see <corvane/actions.hpp>): zo++ writes
// their interface to poll.abi next to the module, and callers encode the
// arguments as it describes.
#include <corvane/actions.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Poll {
  std::string question;
  std::vector<std::string> choices;
  std::vector<uint64_t> votes; // one count per choice
  std::string opener;
};

// Who voted where: the key is a struct, encoded like any argument.
struct Ballot {
  uint32_t poll;
  std::string voter;
};

CORVANE_TABLE(polls, uint32_t, Poll);
CORVANE_TABLE(ballots, Ballot, uint8_t);
CORVANE_TABLE(counters, std::string, uint32_t);

Poll find(uint32_t id) {
  std::optional<Poll> poll = polls.get(id);
  corvane::check(poll.has_value(), "no poll " + std::to_string(id));
  return *poll;
}

// Opens a poll and returns its number; polls are numbered from 1.
uint32_t open(const std::string &question, const std::vector<std::string> &choices) {
  corvane::check(!question.empty(), "a poll needs a question");
  corvane::check(choices.size() >= 2 && choices.size() <= 255,
                 "a poll needs 2 to 255 choices");
  uint32_t id = counters.get("polls").value_or(0) + 1;
  counters.set("polls", id);
  polls.set(id, {question, choices, std::vector<uint64_t>(choices.size()), corvane::caller()});
  corvane::emit("open", std::to_string(id) + " " + question);
  return id;
}

void vote(uint32_t poll, uint8_t choice) {
  Poll p = find(poll);
  Ballot ballot{poll, corvane::caller()};
  corvane::check(!ballots.contains(ballot),
                 ballot.voter + " has voted in poll " + std::to_string(poll));
  corvane::check(size_t{choice} < p.choices.size(), "no choice " + std::to_string(choice) +
                                                " in poll " + std::to_string(poll));
  ++p.votes[choice];
  polls.set(poll, p);
  ballots.set(ballot, choice);
}

bool voted(uint32_t poll, std::string_view voter) {
  return ballots.contains({poll, std::string(voter)});
}

std::map<std::string, uint64_t> tally(uint32_t poll) {
  Poll p = find(poll);
  std::map<std::string, uint64_t> result;
  for (size_t i = 0; i < p.choices.size(); ++i)
    result[p.choices[i]] += p.votes[i];
  return result;
}

Poll show(uint32_t poll) { return find(poll); }

} // namespace

CORVANE_ACTIONS(open, vote, voted, tally, show)
