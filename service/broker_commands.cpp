// Commands through the broker: the printer's other operations, each run at most once by its
// id (the journal's commands), answered with what the HTTP operation answers.
#include <map>

#include "broker_agent.hpp"
#include "log.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

struct CommandRoute {
  const char* method;
  const char* path;
  bool readOnly;  // safe to run again when an earlier run stopped in the middle of it
};

const std::map<std::string, CommandRoute, std::less<>>& Commands() {
  static const std::map<std::string, CommandRoute, std::less<>> commands = {
      {"daily_report", {"POST", "/v1/printers/{name}/reports/daily", false}},
      {"set_rates", {"PUT", "/v1/printers/{name}/rates", false}},
      {"counters", {"GET", "/v1/printers/{name}/counters", true}},
      {"clock", {"GET", "/v1/printers/{name}/clock", true}},
  };
  return commands;
}

// The printer never took the command: sent again, it may run.
bool NotRun(const Answer& answer) {
  const std::string kind = answer.body.contains("error")
                               ? answer.body["error"].value("kind", std::string())
                               : std::string();
  return kind == "printer_busy" || kind == "queue_full" || kind == "journal";
}

}  // namespace

void BrokerAgent::CommandMessage(const std::string& printer, const BrokerMessage& message) {
  const auto arrived = std::chrono::steady_clock::now();
  const ReplyTo reply{Topic(printer, "answers"), message.responseTopic, message.correlation};
  const json command = json::parse(message.payload, nullptr, false);
  json id = nullptr;
  json name = nullptr;
  const auto refuse = [&](const Answer& answer) {
    Reply(reply, {{"id", id},
                  {"command", name},
                  {"status", answer.status},
                  {"state", "rejected"},
                  {"error", answer.body.value("error", json())}});
  };
  const Answers& answers = service_.Answer();
  if (command.is_discarded() || !command.is_object()) {
    return refuse(answers.Error(ErrorKind::kInvalidJson, 400, "expected a JSON object"));
  }
  if (command.contains("id") && command["id"].is_string()) id = command["id"];
  if (command.contains("command") && command["command"].is_string()) name = command["command"];
  if (!id.is_string() || id.get<std::string>().empty() || id.get<std::string>().size() > 128) {
    return refuse(answers.Error(ErrorKind::kInvalidRequest, 400,
                                "a command needs an id of 1 to 128 characters", "id"));
  }
  if (!name.is_string() || !Commands().contains(name.get<std::string>())) {
    return refuse(answers.Error(ErrorKind::kInvalidRequest, 400,
                                "command must be daily_report, set_rates, counters or clock",
                                "command"));
  }
  if (service_.Find(printer) == nullptr) {
    return refuse(answers.Error(ErrorKind::kNotFound, 404, "no printer named \"" + printer + "\""));
  }
  const std::string key = id.get<std::string>();
  const std::string request = command.dump();
  std::pair<CommandEntry, bool> admitted;
  try {
    admitted = service_.ReceiptJournal().AdmitCommand(key, printer, request);
  } catch (const JournalError& e) {
    return refuse(answers.Error(ErrorKind::kJournal, 503, e.what()));
  }
  RecordWindow(std::chrono::steady_clock::now() - arrived);
  const CommandEntry& entry = admitted.first;
  if (!admitted.second) {
    if (entry.printer != printer || entry.request != request) {
      return refuse(answers.Error(
          ErrorKind::kIdConflict, 409,
          "command " + key + " was sent to printer " + entry.printer + " with a different body",
          "id"));
    }
    if (entry.answer) {
      // Run already: its answer again, and nothing run again.
      return Reply(reply, json::parse(*entry.answer, nullptr, false));
    }
    std::lock_guard lock(mutex_);
    if (const auto running = commandsRunning_.find(key); running != commandsRunning_.end()) {
      running->second.push_back(reply);  // answered when it ends
      return;
    }
  }
  const bool leftByEarlierRun = !admitted.second;
  if (leftByEarlierRun && !Commands().find(name.get<std::string>())->second.readOnly) {
    // The service stopped while it ran: it may have taken effect.
    const Answer unknown = answers.Error(
        ErrorKind::kUnknownOutcome, 409,
        "the service stopped while command " + key +
            " ran: whether it took effect is not known; read the printer before sending it "
            "again with a new id");
    json answer = {{"id", id},
                   {"command", name},
                   {"status", 409},
                   {"state", "unknown"},
                   {"error", unknown.body["error"]}};
    try {
      service_.ReceiptJournal().FinishCommand(key, answer.dump());
    } catch (const JournalError& e) {
      LogWarning("the answer to command " + key + " was not journalled: " + e.what());
    }
    return Reply(reply, answer);
  }
  std::lock_guard lock(mutex_);
  commandsRunning_[key].push_back(reply);
  std::erase_if(commandThreads_, [](const CommandThread& ran) { return ran.done->load(); });
  auto done = std::make_shared<std::atomic<bool>>(false);
  commandThreads_.push_back({done, std::jthread([this, printer, command, done] {
                               RunCommand(printer, command);
                               done->store(true);
                             })});
}

void BrokerAgent::RunCommand(const std::string& printer, const json& command) {
  const std::string key = command["id"].get<std::string>();
  json answer;
  bool ran = true;
  try {
    const CommandRoute& route = Commands().find(command["command"].get<std::string>())->second;
    json body = command;
    body.erase("id");
    body.erase("command");
    Answer result = Call(route.method, route.path, printer,
                         std::string(route.method) == "GET" ? std::string() : body.dump());
    if (std::string(route.method) == "GET" && !body.empty()) {
      result = service_.Answer().Error(ErrorKind::kInvalidRequest, 400,
                                       "this command takes no fields besides id and command",
                                       body.begin().key());
    }
    ran = !NotRun(result);
    answer = {{"id", key},
              {"command", command["command"]},
              {"status", result.status},
              {"state", result.status < 300 ? "done" : "refused"}};
    if (result.body.is_object()) {
      for (auto& [field, value] : result.body.items()) answer[field] = value;
    }
  } catch (const std::exception& e) {
    const Answer failed = service_.Answer().Error(ErrorKind::kInternal, 500, e.what());
    answer = {{"id", key},
              {"command", command["command"]},
              {"status", 500},
              {"state", "refused"},
              {"error", failed.body["error"]}};
  }
  try {
    if (ran) {
      service_.ReceiptJournal().FinishCommand(key, answer.dump());
    } else {
      service_.ReceiptJournal().ForgetCommand(key);
    }
  } catch (const JournalError& e) {
    LogWarning("the answer to command " + key + " was not journalled: " + e.what());
  }
  std::vector<ReplyTo> replies;
  {
    std::lock_guard lock(mutex_);
    replies = std::move(commandsRunning_[key]);
    commandsRunning_.erase(key);
  }
  for (const ReplyTo& reply : replies) Reply(reply, answer);
}

}  // namespace tauravatd
