// The console's commands. Each reads its arguments from the request, calls
// the board's C API (the same calls a test in the process would make) and
// returns what it found as a JSON object.
#include "board/console/commands.h"

#include <orlik/sim.h>
#include <orlik/text.h>

#include "board/board.h"
#include "board/console/console.h"
#include "board/gpio.h"
#include "core/paths.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>

extern char* program_invocation_name;

namespace orlik::board::console {
namespace {

using json = nlohmann::json;

// The processor's hardware ports the panel has, as the board's C API names them.
constexpr char kPortLetters[] = "BCFKLMNPQ";

struct BadArgument : std::runtime_error {
  using std::runtime_error::runtime_error;
};

template <class T>
std::optional<T> Optional(const json& r, const char* key) {
  auto it = r.find(key);
  if (it == r.end() || it->is_null()) return std::nullopt;
  if constexpr (std::is_same_v<T, std::string>) {
    if (!it->is_string()) throw BadArgument(std::string("\"") + key + "\" must be a string");
  } else if constexpr (std::is_same_v<T, bool>) {
    if (!it->is_boolean() && !it->is_number_integer())
      throw BadArgument(std::string("\"") + key + "\" must be true or false");
    return it->is_boolean() ? it->get<bool>() : it->get<long long>() != 0;
  } else {
    if (!it->is_number()) throw BadArgument(std::string("\"") + key + "\" must be a number");
    if constexpr (std::is_integral_v<T>) {
      double v = it->get<double>();
      if (v != std::floor(v) || v < double(std::numeric_limits<T>::min()) || v > double(std::numeric_limits<T>::max()))
        throw BadArgument(std::string("\"") + key + "\" must be a whole number in range");
    } else if (!std::isfinite(it->get<double>())) {
      throw BadArgument(std::string("\"") + key + "\" must be finite");
    }
  }
  return it->get<T>();
}

template <class T>
T Required(const json& r, const char* key) {
  auto v = Optional<T>(r, key);
  if (!v) throw BadArgument(std::string("missing \"") + key + "\"");
  return *v;
}

std::string PinName(char port, int pin) {
  char name[16];
  std::snprintf(name, sizeof name, "HW-%c%d", port, pin);
  return name;
}

json PinState(char port, int pin) {
  auto& board = Board::Get();
  std::lock_guard lock(board.Lock());
  static constexpr const char* kPulls[] = {"none", "down", "up", "reserved"};
  int mode = board.gpio().Mode(port, pin);
  int pull = board.gpio().Pull(port, pin);
  return {{"pin", PinName(port, pin)},
          {"level", board.gpio().Level(port, pin)},
          {"mode", mode == 0 ? "input" : mode == 1 ? "output" : "function " + std::to_string(mode)},
          {"pull", kPulls[pull & 3]},
          {"driven", board.gpio().ExternalLevel(port, pin)},
          {"changes", orlik_sim_pin_changes(port, pin)}};
}

std::pair<char, int> PinArgument(const json& r) {
  std::string text = Required<std::string>(r, "pin");
  char port;
  int pin;
  if (!ParsePin(text, &port, &pin)) throw BadArgument("no pin \"" + text + "\" on the panel");
  return {port, pin};
}

using Run = bool (*)(const json& r, json* out, std::string* error);

bool Info(const json&, json* out, std::string*) {
  int w = 0, h = 0;
  orlik_sim_screen_size(&w, &h);
  std::error_code ec;
  *out = {{"pid", getpid()},
          {"program", program_invocation_name ? program_invocation_name : ""},
          {"root", std::filesystem::absolute(DeviceRoot(), ec).lexically_normal().string()},
          {"socket", SocketPath()},
          {"screen", {{"width", w}, {"height", h}}}};
  return true;
}

bool Pins(const json& r, json* out, std::string* error) {
  auto port = Optional<std::string>(r, "port");
  char want = 0;
  if (port) {
    std::string p = *port;
    if (p.rfind("HW-", 0) == 0 || p.rfind("hw-", 0) == 0) p = p.substr(3);
    if (p.size() != 1) {
      *error = "a port is one letter";
      return false;
    }
    want = char(std::toupper(static_cast<unsigned char>(p[0])));
  }
  json pins = json::array();
  for (char letter : std::string_view(kPortLetters)) {
    if (want && letter != want) continue;
    for (int i = 0; i < 16 && orlik_sim_pin_level(letter, i) >= 0; ++i) pins.push_back(PinState(letter, i));
  }
  if (want && pins.empty()) {
    *error = std::string("no port ") + want + " on the panel";
    return false;
  }
  (*out)["pins"] = std::move(pins);
  return true;
}

bool Get(const json& r, json* out, std::string*) {
  auto [port, pin] = PinArgument(r);
  *out = PinState(port, pin);
  return true;
}

bool Drive(const json& r, json* out, std::string*) {
  auto [port, pin] = PinArgument(r);
  int level = Required<int>(r, "level");
  if (level != 0 && level != 1) throw BadArgument("\"level\" is 0 or 1");
  orlik_sim_drive_pin(port, pin, level);
  *out = PinState(port, pin);
  return true;
}

bool Release(const json& r, json* out, std::string*) {
  auto [port, pin] = PinArgument(r);
  orlik_sim_drive_pin(port, pin, -1);
  *out = PinState(port, pin);
  return true;
}

bool SetChannel(int channel, const json& r, json* out) {
  if (auto volts = Optional<double>(r, "volts")) orlik_sim_adc_set_volts(channel, *volts);
  if (r.contains("codes")) {
    std::vector<int> codes;
    for (auto& c : r["codes"]) {
      if (!c.is_number_integer() || c.get<long long>() < 0 || c.get<long long>() > 4095)
        throw BadArgument("\"codes\" are 12-bit codes");
      codes.push_back(c.get<int>());
    }
    orlik_sim_adc_feed(channel, codes.data(), int(codes.size()));
  }
  *out = {{"channel", channel}, {"pending", orlik_sim_adc_pending(channel)}, {"conversions", orlik_sim_adc_conversions()}};
  if (auto volts = Optional<double>(r, "volts")) (*out)["volts"] = *volts;
  return true;
}

bool Adc(const json& r, json* out, std::string*) {
  int channel = Required<int>(r, "channel");
  if (channel < 0 || channel > 7) throw BadArgument("\"channel\" is 0-7");
  return SetChannel(channel, r, out);
}

bool Battery(const json& r, json* out, std::string*) { return SetChannel(0, r, out); }

bool Supply(const json& r, json* out, std::string*) {
  if (auto on = Optional<bool>(r, "on")) orlik_sim_set_external_supply(*on ? 1 : 0);
  *out = {{"present", orlik_sim_external_supply() != 0},
          {"powered_off", orlik_sim_powered_off() != 0},
          {"power_off_count", orlik_sim_power_off_count()}};
  return true;
}

bool Counter(const json& r, json* out, std::string* error) {
  std::string module = Required<std::string>(r, "module");
  std::string action = Optional<std::string>(r, "action").value_or("");
  int ok = 1;
  if (action == "attach" || action == "detach") {
    ok = orlik_sim_counter_attach(module.c_str(), action == "attach");
  } else if (action == "set") {
    int index = Required<int>(r, "index");
    ok = orlik_sim_counter_set(module.c_str(), index, Required<uint64_t>(r, "value"));
  } else if (action == "pulse") {
    int index = Required<int>(r, "index");
    ok = orlik_sim_counter_pulses(module.c_str(), index, Required<uint64_t>(r, "pulses"));
  } else if (!action.empty()) {
    *error = "unknown counter action \"" + action + "\" (attach, detach, set, pulse)";
    return false;
  }
  int mode = 0, width = 0, paused = 0;
  if (!ok || !orlik_sim_counter_state(module.c_str(), &mode, &width, &paused)) {
    *error = "no counter module \"" + module + "\" or no counter of that index (A1, A2, B1, B2; 1-6)";
    return false;
  }
  json counts = json::array();
  for (int i = 1; i <= 6; ++i) {
    uint64_t v = 0;
    orlik_sim_counter_get(module.c_str(), i, &v);
    counts.push_back(v);
  }
  *out = {{"module", module}, {"mode", mode}, {"width", width}, {"paused", paused},
          {"counts", counts}, {"commands", orlik_sim_counter_commands(module.c_str())}};
  return true;
}

bool Pwm(const json&, json* out, std::string*) {
  json outputs = json::array();
  for (int channel = 1; channel <= 2; ++channel) {
    double hz = 0, duty = 0;
    int level = 0;
    orlik_sim_pwm_output(channel, &hz, &duty, &level);
    outputs.push_back({{"channel", channel}, {"pin", channel == 1 ? "HW-F14" : "HW-F15"}, {"hz", hz},
                       {"duty", duty}, {"level", level}, {"inverted", orlik_sim_pwm_inverted(channel) != 0}});
  }
  (*out)["outputs"] = std::move(outputs);
  return true;
}

bool Dac(const json&, json* out, std::string*) {
  json outputs = json::array();
  int output = 1;
  for (int address : {0x98, 0x9A})
    outputs.push_back({{"output", output++}, {"address", address}, {"value", orlik_sim_dac_value(address)},
                       {"updates", orlik_sim_dac_updates(address)}});
  (*out)["outputs"] = std::move(outputs);
  return true;
}

bool Bus(const json& r, json* out, std::string* error) {
  std::string name = Required<std::string>(r, "bus");
  std::string transcript(64 * 1024 + 1, '\0');
  int length = orlik_sim_bus_transcript(name.c_str(), transcript.data(), int(transcript.size()));
  if (length < 0) {
    *error = "no bus \"" + name + "\" (main, A1, A2, B1)";
    return false;
  }
  transcript.resize(std::min(size_t(length), transcript.size() - 1));
  json errors = json::array();
  char text[256];
  for (int i = 0; orlik_sim_bus_error(name.c_str(), i, text, sizeof text); ++i) errors.push_back(text);
  *out = {{"bus", name}, {"transcript", transcript}, {"errors", errors}};
  if (Optional<bool>(r, "clear").value_or(false)) orlik_sim_bus_clear(name.c_str());
  return true;
}

bool Decoder(const json&, json* out, std::string*) {
  json registers = json::array();
  for (int reg = 0; reg < 256; ++reg) registers.push_back(orlik_sim_decoder_register(reg));
  *out = {{"registers", registers}, {"writes", orlik_sim_decoder_writes()}, {"input", orlik_sim_camera_input()}};
  return true;
}

bool Camera(const json& r, json* out, std::string* error) {
  if (auto input = Optional<int>(r, "input")) {
    std::string source = Required<std::string>(r, "source");
    if (*input < 1 || *input > 4) throw BadArgument("\"input\" is 1-4");
    const char* path = source == "scene" ? nullptr : source == "none" ? "" : source.c_str();
    if (!orlik_sim_camera_set_source(*input, path)) {
      *error = "camera input " + std::to_string(*input) + " cannot show \"" + source + "\"";
      return false;
    }
  }
  *out = {{"input", orlik_sim_camera_input()}, {"frames", orlik_sim_camera_frames()}};
  return true;
}

bool Sound(const json&, json* out, std::string*) {
  char output[512];
  bool chosen = orlik_sim_sound_output(output, sizeof output) != 0;
  uint32_t volume = orlik_sim_sound_volume();
  *out = {{"volume", volume}, {"speaker_volume", volume & 0xFFFF}, {"playing", orlik_sim_sound_playing()},
          {"frames", orlik_sim_sound_frames()}, {"peak", orlik_sim_sound_peak()},
          {"output", chosen ? output : ""}};
  return true;
}

bool Screen(const json& r, json* out, std::string* error) {
  int w = 0, h = 0;
  orlik_sim_screen_size(&w, &h);
  if (auto path = Optional<std::string>(r, "path")) {
    if (path->empty() || (*path)[0] != '/') throw BadArgument("\"path\" must be absolute");
    if (!orlik_sim_screen_save_png(path->c_str())) {
      *error = "cannot write " + *path;
      return false;
    }
    (*out)["path"] = *path;
  }
  (*out)["width"] = w;
  (*out)["height"] = h;
  (*out)["presents"] = orlik_sim_screen_present_count();
  return true;
}

// A finger on the touch screen: down and up at one point, or one of them.
bool Tap(const json& r, json* out, std::string* error) {
  int x = Required<int>(r, "x"), y = Required<int>(r, "y");
  std::string action = Optional<std::string>(r, "action").value_or("tap");
  if (action != "tap" && action != "down" && action != "up")
    throw BadArgument("\"action\" is tap, down or up");
  int w = 0, h = 0;
  orlik_sim_screen_size(&w, &h);
  if (x < 0 || y < 0 || x >= w || y >= h) {
    *error = "(" + std::to_string(x) + ", " + std::to_string(y) + ") is off the " + std::to_string(w) + "x" +
             std::to_string(h) + " screen";
    return false;
  }
  bool taken = true;
  if (action != "up") taken = orlik_sim_touch(x, y, 1) != 0;
  if (taken && action != "down") taken = orlik_sim_touch(x, y, 0) != 0;
  if (!taken) {
    *error = "nothing takes touches in this process";
    return false;
  }
  *out = {{"x", x}, {"y", y}, {"action", action}};
  return true;
}

bool Messages(const json&, json* out, std::string*) {
  json list = json::array();
  for (auto& m : Board::Get().Messages())
    list.push_back({{"caption", ToUtf8(m.caption)}, {"text", ToUtf8(m.text)}, {"type", m.type}});
  (*out)["messages"] = std::move(list);
  return true;
}

bool Power(const json&, json* out, std::string*) {
  json requests = json::array();
  char text[256];
  for (int i = 0; orlik_sim_power_request(i, text, sizeof text); ++i) requests.push_back(text);
  *out = {{"requests", requests}, {"powered_off", orlik_sim_powered_off() != 0},
          {"power_off_count", orlik_sim_power_off_count()}};
  return true;
}

struct Command {
  const char* name;
  Run run;
};

constexpr Command kCommands[] = {
    {"info", Info},       {"pins", Pins},         {"get", Get},         {"drive", Drive},
    {"release", Release}, {"adc", Adc},           {"battery", Battery}, {"supply", Supply},
    {"counter", Counter}, {"pwm", Pwm},           {"dac", Dac},         {"bus", Bus},
    {"decoder", Decoder}, {"camera", Camera},     {"sound", Sound},     {"screen", Screen},
    {"messages", Messages}, {"power", Power},     {"tap", Tap},
};

}  // namespace

bool ParsePin(const std::string& text, char* port, int* pin) {
  std::string t = text;
  if (t.size() > 3 && (t.rfind("HW-", 0) == 0 || t.rfind("hw-", 0) == 0)) t = t.substr(3);
  if (t.size() < 2 || t.size() > 3) return false;
  char p = char(std::toupper(static_cast<unsigned char>(t[0])));
  int n = 0;
  for (size_t i = 1; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    n = n * 10 + (t[i] - '0');
  }
  if (orlik_sim_pin_level(p, n) < 0) return false;
  *port = p;
  *pin = n;
  return true;
}

bool RunCommand(const std::string& name, const json& request, json* result, std::string* error) {
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    try {
      return c.run(request, result, error);
    } catch (const BadArgument& e) {
      *error = e.what();
      return false;
    }
  }
  *error = "unknown command \"" + name + "\"";
  return false;
}

json CommandNames() {
  json names = json::array({"help", "subscribe", "unsubscribe"});
  for (const Command& c : kCommands) names.push_back(c.name);
  return names;
}

}  // namespace orlik::board::console
