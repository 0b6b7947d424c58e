// r38 scope: why a tape does not read. The spread of its half-cycles against the bit decision,
// its speed along the tape and where its damaged blocks lie, as text or as an SVG picture.
#include <getopt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "audio/scope.h"
#include "cli/r38_common.h"
#include "cli/r38_recording.h"

namespace r38::cli {
namespace {

constexpr char COMMAND[] = "scope";
enum : int { OPT_SVG = 0x300 };

void print_help() {
  std::printf(
      "Usage: r38 scope SOURCE [OPTION]...\n"
      "Show why a tape reads badly: the lengths of its half-cycles against the point\n"
      "where bits are decided, its speed along the tape, and where each damaged block\n"
      "begins and ends (in seconds, and in samples for a recording) so that the spot can\n"
      "be mended.\n"
      "SOURCE is a tape image or an audio recording.\n\n"
      "      --svg FILE        draw it as a picture (SVG) instead of text\n"
      "%s"
      "  -q, --quiet           no progress bar\n"
      "  -h, --help            show this help and exit\n\n"
      "Exit status: 0 when every block read well, 1 when some were damaged, 2 on errors.\n",
      RECORDING_OPTIONS_HELP);
}

struct SpeedRange {
  double low = 0, high = 0, first = 0, last = 0;
};

SpeedRange speed_range(const audio::ScopeReport& r) {
  SpeedRange s;
  if (r.speed.empty()) return s;
  s.low = s.high = r.speed.front().baud;
  for (const auto& p : r.speed) {
    s.low = std::min(s.low, p.baud);
    s.high = std::max(s.high, p.baud);
  }
  s.first = r.speed.front().baud;
  s.last = r.speed.back().baud;
  return s;
}

std::string where(const audio::ScopeReport::Damage& d) {
  char text[128];
  if (d.sample >= 0) {
    std::snprintf(text, sizeof text, "%.3f s to %.3f s, samples %lld to %lld", d.seconds,
                  d.end_seconds, static_cast<long long>(d.sample),
                  static_cast<long long>(d.end_sample));
  } else {
    std::snprintf(text, sizeof text, "%.3f s to %.3f s", d.seconds, d.end_seconds);
  }
  return text;
}

void print_text(const std::string& source, const LoadedTape& tape, const audio::ScopeReport& r) {
  if (tape.from_recording) {
    std::printf("tape       %s (%s, %.0f Hz, %.2f s)\n", source.c_str(),
                tape.recording.format.c_str(), tape.recording.sample_rate, r.seconds);
    std::printf("polarity   %s\n", tape.imported.inverted ? "inverted" : "normal");
  } else {
    std::printf("tape       %s (tape image, %.2f s at %.0f baud)\n", source.c_str(), r.seconds,
                audio::NOMINAL_BAUD);
    std::printf("phase      %s\n", r.phase == PHASE_NORMAL ? "normal" : "reverse");
  }
  const SpeedRange s = speed_range(r);
  if (!r.speed.empty()) {
    double drift = 100 * (s.last - s.first) / s.first;
    if (std::abs(drift) < 0.05) drift = 0;  // no "-0.0"
    std::printf("speed      %.0f baud at the start, %.0f at the end (%+.1f %%), %.0f to %.0f\n",
                s.first, s.last, drift, s.low, s.high);
  }
  std::printf("clusters   short %.1f counts, long %.1f counts; bits are decided at count %.0f\n",
              r.short_half_cycle, r.long_half_cycle, std::round(audio::DECISION_COUNT));
  std::printf("blocks     %d good, %zu damaged\n", r.good_blocks, r.damaged.size());

  std::printf("\nhalf-cycles by length in counts\n  counts  %-32s %-32s\n", "high", "low");
  // Two counts a row.
  const auto pair = [](const std::vector<std::size_t>& bins, std::size_t i) {
    return bins[i] + (i + 1 < bins.size() ? bins[i + 1] : 0);
  };
  std::size_t most = 1;
  for (std::size_t i = 1; i < audio::SCOPE_BINS; i += 2)
    most = std::max({most, pair(r.high, i), pair(r.low, i)});
  constexpr int WIDTH = 30;
  const auto bar = [&](std::size_t n) {
    const int len = static_cast<int>(std::lround(static_cast<double>(n) * WIDTH / most));
    return std::string(static_cast<std::size_t>(len), '#') +
           std::string(static_cast<std::size_t>(WIDTH - len), ' ');
  };
  for (std::size_t i = 1; i < audio::SCOPE_BINS; i += 2) {
    const std::size_t high = pair(r.high, i);
    const std::size_t low = pair(r.low, i);
    const bool last = i + 2 >= audio::SCOPE_BINS;
    std::string mark;
    const auto in_row = [&](double count) { return count >= i && (last || count < i + 2); };
    if (in_row(r.short_half_cycle)) mark += " <- short";
    if (in_row(r.long_half_cycle)) mark += " <- long";
    if (in_row(audio::DECISION_COUNT)) mark += " <- decision";
    char label[16];
    std::snprintf(label, sizeof label, last ? "%zu+" : "%zu-%zu", i, i + 1);
    std::printf("  %-6s |%s| |%s|%s\n", label, bar(high).c_str(), bar(low).c_str(), mark.c_str());
  }
  if (!r.damaged.empty()) std::printf("\ndamaged blocks\n");
  for (const auto& d : r.damaged) {
    std::printf("  from %s (type 0x%02X, image offset 0x%llX)\n", where(d).c_str(), d.type & 0xFF,
                static_cast<unsigned long long>(d.offset));
  }
}

std::string xml_escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters have no place in XML 1.0.
        out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    }
  }
  return out;
}

// A self-contained picture: the histogram above, the speed along the tape below, damaged
// blocks marked on the speed's time axis.
std::string svg(const std::string& source, const audio::ScopeReport& r) {
  constexpr double W = 760, LEFT = 60, RIGHT = 740, BIN = (RIGHT - LEFT) / audio::SCOPE_BINS;
  constexpr double H_TOP = 50, H_BOTTOM = 260, S_TOP = 320, S_BOTTOM = 440;
  std::string out;
  char buf[512];
  const auto add = [&](const char* format, auto... args) {
    std::snprintf(buf, sizeof buf, format, args...);
    out += buf;
  };
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"480\" "
      "viewBox=\"0 0 %.0f 480\" font-family=\"sans-serif\" font-size=\"11\">\n",
      W, W);
  out += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  out += "<text x=\"60\" y=\"20\" font-size=\"14\">" + xml_escaped(source) + "</text>\n";
  add("<text x=\"60\" y=\"36\">%d good blocks, %zu damaged; short %.1f counts, long %.1f</text>\n",
      r.good_blocks, r.damaged.size(), r.short_half_cycle, r.long_half_cycle);

  std::size_t most = 1;
  for (std::size_t i = 0; i < audio::SCOPE_BINS; ++i) most = std::max({most, r.high[i], r.low[i]});
  const double scale = (H_BOTTOM - H_TOP) / static_cast<double>(most);
  out += "<g id=\"histogram\">\n";
  add("<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"black\"/>\n", LEFT, H_BOTTOM,
      RIGHT, H_BOTTOM);
  for (std::size_t i = 0; i < audio::SCOPE_BINS; ++i) {
    const double x = LEFT + static_cast<double>(i) * BIN;
    const double hh = static_cast<double>(r.high[i]) * scale;
    const double lh = static_cast<double>(r.low[i]) * scale;
    if (r.high[i] > 0) {
      add("<rect class=\"high\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" "
          "fill=\"#2a6fdb\"><title>%zu counts high: %zu</title></rect>\n",
          x, H_BOTTOM - hh, BIN / 2, hh, i, r.high[i]);
    }
    if (r.low[i] > 0) {
      add("<rect class=\"low\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" "
          "fill=\"#e08a1e\"><title>%zu counts low: %zu</title></rect>\n",
          x + BIN / 2, H_BOTTOM - lh, BIN / 2, lh, i, r.low[i]);
    }
    if (i % 7 == 0) add("<text x=\"%.1f\" y=\"%.0f\">%zu</text>\n", x, H_BOTTOM + 14, i);
  }
  add("<text x=\"%.0f\" y=\"%.0f\">counts (the last bin holds longer runs)</text>\n", LEFT,
      H_BOTTOM + 28);
  add("<text x=\"%.0f\" y=\"%.0f\" fill=\"#2a6fdb\">high</text>"
      "<text x=\"%.0f\" y=\"%.0f\" fill=\"#e08a1e\">low</text>\n",
      RIGHT - 60, H_TOP, RIGHT - 30, H_TOP);
  out += "</g>\n";
  const auto marker = [&](const char* id, double count, const char* colour, const char* label) {
    const double x = LEFT + count * BIN;
    add("<g id=\"%s\"><line x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\" stroke=\"%s\" "
        "stroke-dasharray=\"4 3\"/><text x=\"%.1f\" y=\"%.0f\" fill=\"%s\">%s</text></g>\n",
        id, x, H_TOP - 4, x, H_BOTTOM, colour, x + 3, H_TOP + 8, colour, label);
  };
  if (r.short_half_cycle > 0) {
    marker("short-cluster", r.short_half_cycle, "#555", "short");
    marker("long-cluster", r.long_half_cycle, "#555", "long");
  }
  marker("decision", audio::DECISION_COUNT, "#c00", "decision (35)");

  // Speed along the tape, with damaged blocks on its time axis.
  const SpeedRange s = speed_range(r);
  const double low = std::floor(std::min(s.low, 0.97 * s.high)), high = std::ceil(s.high) + 1;
  const double seconds = std::max(r.seconds, 1e-6);
  const auto tx = [&](double t) {
    return LEFT + (RIGHT - LEFT) * std::clamp(t / seconds, 0.0, 1.0);
  };
  const auto by = [&](double b) {
    return S_BOTTOM - (S_BOTTOM - S_TOP) * (b - low) / (high - low);
  };
  out += "<g id=\"speed\">\n";
  add("<text x=\"%.0f\" y=\"%.0f\">speed (baud) along the tape, %.2f s</text>\n", LEFT, S_TOP - 8,
      r.seconds);
  add("<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" "
      "stroke=\"#999\"/>\n",
      LEFT, S_TOP, RIGHT - LEFT, S_BOTTOM - S_TOP);
  add("<text x=\"4\" y=\"%.0f\">%.0f</text><text x=\"4\" y=\"%.0f\">%.0f</text>\n", S_TOP + 10,
      high, S_BOTTOM, low);
  if (!r.speed.empty()) {
    out += "<polyline fill=\"none\" stroke=\"#2a6fdb\" points=\"";
    for (const auto& p : r.speed) add("%.1f,%.1f ", tx(p.seconds), by(p.baud));
    out += "\"/>\n";
  }
  out += "</g>\n<g id=\"damaged\">\n";
  for (const auto& d : r.damaged) {
    const double x = tx(d.seconds);
    add("<path d=\"M%.1f %.0f l-5 10 h10 z\" fill=\"#c00\"><title>damaged block from %s"
        "</title></path>\n",
        x, S_BOTTOM, where(d).c_str());
  }
  out += "</g>\n</svg>\n";
  return out;
}

}  // namespace

int run_scope(int argc, char** argv) {
  static const option LONG_OPTIONS[] = {
      {"svg", required_argument, nullptr, OPT_SVG},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      R38_RECORDING_LONG_OPTIONS,
      {nullptr, 0, nullptr, 0},
  };
  RecordingOptions options;
  std::string svg_path;
  bool quiet = false;
  opterr = 0;
  optind = 1;
  int c;
  while ((c = getopt_long(argc, argv, ":qh", LONG_OPTIONS, nullptr)) != -1) {
    std::string why;
    switch (c) {
      case OPT_SVG:
        svg_path = optarg;
        break;
      case 'q':
        quiet = true;
        break;
      case 'h':
        print_help();
        return EXIT_OK;
      case ':':
      case '?':
        return usage_error(COMMAND, option_problem(c, argv));
      default:
        if (!apply_recording_option(c, optarg, options, why)) return usage_error(COMMAND, why);
    }
  }
  if (optind + 1 != argc) return usage_error(COMMAND, "name one tape image or recording");
  const std::string source = argv[optind];
  LoadedTape tape;
  const std::string why = load_tape(source, options, tape, quiet);
  if (!why.empty()) {
    report(source, why);
    return EXIT_ERROR;
  }
  const audio::ScopeReport r =
      tape.from_recording ? audio::scope_recording(tape.imported, tape.recording.samples.size())
                          : audio::scope_image(tape.image, PHASE_NORMAL, true);
  if (svg_path.empty()) {
    print_text(source, tape, r);
  } else {
    const std::string picture = svg(source, r);
    std::FILE* file = std::fopen(svg_path.c_str(), "w");
    const bool ok = file && std::fwrite(picture.data(), 1, picture.size(), file) == picture.size();
    if (!file || std::fclose(file) != 0 || !ok) {
      report(svg_path, "could not be written");
      return EXIT_ERROR;
    }
  }
  if (std::fflush(stdout) != 0) return EXIT_ERROR;
  return r.damaged.empty() ? EXIT_OK : EXIT_DAMAGED;
}

}  // namespace r38::cli
