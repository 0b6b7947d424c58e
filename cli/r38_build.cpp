// r38 build: files to a tape image that the converter turns back into the same files.
#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/r38_common.h"
#include "encode/tape_files.h"

namespace r38::cli {
namespace {

void print_build_help() {
  std::printf(
      "Usage: r38 build -o OUT [OPTION]... FILE...\n"
      "Write a tape image holding the files in the order given.\n"
      "\n"
      "The tape name is the file's base name without its extension, at most 8 bytes. The\n"
      "extension, in any letter case, gives the type: .BAS BASIC program as ASCII text,\n"
      ".IBA BASIC program as I-code, .TXT BASIC data file, .BIN machine-language program.\n"
      "\n"
      "  -o, --output=OUT    the image to write; '-' writes to standard output\n"
      "  -n, --name=NAME     the tape name, when one file is given\n"
      "  -t, --type=TYPE     bas, iba, txt or bin (or auto: from the extension again)\n"
      "  -l, --load=ADDR     load address of machine-language programs\n"
      "  -e, --exec=ADDR     execution address of machine-language programs\n"
      "      --pad-blanks    pad names to 8 bytes with blanks instead of zero bytes\n"
      "  -p, --phase=MODE    normal (the default) or reverse: store every level inverted\n"
      "  -h, --help          show this help and exit\n"
      "\n"
      "--type, --load and --exec apply to the files after them on the command line, until\n"
      "the next one. Addresses are hexadecimal as 0x1000 or $1000, otherwise decimal.\n"
      "The image is written to a temporary file and renamed into place when complete.\n"
      "\n"
      "Exit status: 0 the image was written, 2 a usage error or a file could not be read\n"
      "or written (nothing is written then).\n");
}

struct InputFile {
  std::string path;
  FileSettings settings;
};

// The whole file, or the errno of the failure.
int read_whole_file(const std::string& path, std::vector<std::uint8_t>& data) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  std::uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return error;
    }
    if (n == 0) break;
    data.insert(data.end(), chunk, chunk + n);
  }
  ::close(fd);
  return 0;
}

bool write_all(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes the image to a temporary file beside `path` and renames it into place, so that a
// failed run leaves no half-written image, and an existing one stays as it was. Returns 0 or
// the errno of the failure.
int write_image_file(const std::string& path, const std::vector<std::uint8_t>& image) {
  std::string temporary = path + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return errno;
  // mkstemp makes the file private; the image gets the permissions of any new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  int error = 0;
  if (::fchmod(fd, 0666 & ~mask) != 0 || !write_all(fd, image)) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

}  // namespace

int run_build(int argc, char** argv) {
  enum { OPT_PAD_BLANKS = 256 };
  static const option OPTIONS[] = {
      {"output", required_argument, nullptr, 'o'},
      {"name", required_argument, nullptr, 'n'},
      {"type", required_argument, nullptr, 't'},
      {"load", required_argument, nullptr, 'l'},
      {"exec", required_argument, nullptr, 'e'},
      {"pad-blanks", no_argument, nullptr, OPT_PAD_BLANKS},
      {"phase", required_argument, nullptr, 'p'},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  std::string output;
  std::optional<std::string> name;
  Phase phase = PHASE_NORMAL;
  bool pad_blanks = false;
  FileSettings current;  // --type, --load and --exec as they stand at this point of the line
  std::vector<InputFile> inputs;
  optind = 0;
  opterr = 0;
  // The leading '-' hands over file names in place, so that options apply to what follows.
  for (int c; (c = getopt_long(argc, argv, "-:o:n:t:l:e:p:h", OPTIONS, nullptr)) != -1;) {
    switch (c) {
      case 1:
        inputs.push_back({optarg, current});
        break;
      case 'o':
        output = optarg;
        break;
      case 'n':
        name = optarg;
        break;
      case 't':
        if (std::string_view(optarg) == "auto") {
          current.kind.reset();
        } else if (auto kind = kind_from_extension(optarg)) {
          current.kind = kind;
        } else {
          return usage_error("build", "--type must be bas, iba, txt, bin or auto");
        }
        break;
      case 'l':
      case 'e':
        if (auto address = parse_number(optarg)) {
          (c == 'l' ? current.load_address : current.exec_address) =
              static_cast<std::uint16_t>(*address);
        } else {
          return usage_error("build", std::string(c == 'l' ? "--load" : "--exec") +
                                          " needs an address from 0 to 0xFFFF, not '" + optarg +
                                          "'");
        }
        break;
      case OPT_PAD_BLANKS:
        pad_blanks = true;
        break;
      case 'p':
        if (std::string_view(optarg) == "normal") {
          phase = PHASE_NORMAL;
        } else if (std::string_view(optarg) == "reverse") {
          phase = PHASE_REVERSE;
        } else {
          return usage_error("build", "--phase must be normal or reverse");
        }
        break;
      case 'h':
        print_build_help();
        return EXIT_OK;
      default:
        return usage_error("build", option_problem(c, argv));
    }
  }
  if (output.empty()) return usage_error("build", "no output named (-o OUT, or -o - for stdout)");
  if (inputs.empty()) return usage_error("build", "no files named");
  if (name && inputs.size() > 1) return usage_error("build", "--name needs exactly one file");

  std::vector<TapeFile> files;
  for (InputFile& input : inputs) {
    input.settings.name = name;
    input.settings.name_pad = pad_blanks ? ' ' : 0;
    std::vector<std::uint8_t> data;
    if (const int error = read_whole_file(input.path, data); error != 0) {
      report(input.path, std::strerror(error));
      return EXIT_ERROR;
    }
    if (const std::string why =
            make_tape_file(input.path, std::move(data), input.settings, files.emplace_back());
        !why.empty()) {
      report(input.path, why);
      return EXIT_ERROR;
    }
  }
  const std::vector<std::uint8_t> image = encode_tape(files, phase);

  if (output == "-") {
    if (!write_all(STDOUT_FILENO, image)) {
      report("standard output", std::strerror(errno));
      return EXIT_ERROR;
    }
    return EXIT_OK;
  }
  if (const int error = write_image_file(output, image); error != 0) {
    report(output, std::strerror(error));
    return EXIT_ERROR;
  }
  return EXIT_OK;
}

}  // namespace r38::cli
