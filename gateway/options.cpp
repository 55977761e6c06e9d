#include "gateway/options.h"

#include <CLI/CLI.hpp>

#include "console/command_line.h"

#include "console/connection_options.h"
#include "console/program.h"

namespace gateway {

namespace {

constexpr const char* kExamples = R"(Examples:
  zentriq-gateway --port /dev/ttyUSB0
                      Modbus TCP on 127.0.0.1:502 to the controller's port as it comes (Modbus
                      ASCII, 9600 baud, 7E1, slave 1); only programs on this machine reach it
  zentriq-gateway --port /dev/ttyUSB0 --listen 0.0.0.0:502 --allow 192.168.10.0/24
                      for the SCADA and HMI of one network (port 502 needs the right to bind it:
                      see the systemd unit, or use a port from 1024 up)
  zentriq-gateway --port COM3 --mode rtu --baud 19200 --line 8E1 --listen 127.0.0.1:1502
  zentriq-gateway --port /dev/ttyUSB0 --listen 127.0.0.1:1502 --verbose --read-only
                      one line per request in device names; writes refused
  zentriq-gateway --host 192.168.1.5 --listen 0.0.0.0:502
                      many clients through one connection to a controller's Ethernet module
  zentriq-gateway --host 192.168.1.6:4001 --mode rtu --listen 0.0.0.0:502
                      a controller behind a serial device server that passes RTU frames on
  zentriq-gateway --port /dev/ttyUSB0 --listen 127.0.0.1:1502 --web 127.0.0.1:8080
                      and a browser on http://127.0.0.1:8080 shows the line, its traffic, and
                      live values and trends of the devices typed there (D100 M0-M15 D200:f32)
  mbpoll -m tcp -a 1 -t 4 -r 4197 -c 10 -1 -p 1502 127.0.0.1
                      reads D100-D109 through a gateway on port 1502

Unit ids: 0 and 255 reach --slave, 1-247 the station of that address, 248-254 none (0A).
Exceptions the gateway answers itself: 01 a function the controller does not serve (it serves 01,
02, 03, 05, 06, 15, 16 and 17) or a write with --read-only; 03 a request of a wrong shape; 0A the
line down, a unit not forwarded, or the gateway stopping; 0B no sound answer after the tries, or
a station that has not been answering (tried again now and then).
SIGUSR1 prints the counters; SIGTERM or Ctrl-C stops the gateway cleanly (exit 0).
Exit status: 0 stopped as asked, 2 usage error, or the port or the listening address unusable.)";

int UsageError(const std::string& message) {
    return console::Messages("zentriq-gateway").UsageError(message);
}

constexpr unsigned kLastStation = 247;

// Where to listen: an address and a port, or a port alone, which is this machine's as the
// defaults are ("--listen 1502", "--web 8080").
std::optional<console::HostAndPort> AddressOf(const std::string& text, std::uint16_t port) {
    const bool port_alone =
        !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    return console::ReadHostAndPort(port_alone ? "127.0.0.1:" + text : text, port, true);
}

}  // namespace

std::optional<int> ParseCommandLine(const std::vector<std::string>& arguments, Settings& settings) {
    CLI::App app{
        "Lets Modbus TCP clients (SCADA, HMI, monitoring) reach a DVP-series PLC on its serial "
        "line, in Modbus ASCII or RTU, or behind an Ethernet module or a serial device server "
        "(--host), which take few connections: one request on the line at a time, clients "
        "served in turn, every answer to the client and transaction that asked.",
        "zentriq-gateway"};
    console::SetUpCommandLine(app, kExamples, "zentriq-gateway " ZENTRIQ_VERSION);
    console::ConnectionOptions line(app, true);
    app.get_option("--slave")->description(
        "The station that unit ids 0 and 255 reach (default 1); units 1-247 reach their own");
    std::string listen = "127.0.0.1:502";
    app.add_option("--listen", listen,
                   "Where clients connect (default 127.0.0.1:502: this machine only; a port "
                   "alone is this machine's; 0.0.0.0:502 for every network, port 0 for any free "
                   "port)")
        ->type_name("[ADDRESS:]PORT");
    std::vector<unsigned> stations;
    app.add_option("--stations", stations,
                   "The only stations forwarded, such as 1,2 (default: all, 1-247)")
        ->delimiter(',')
        ->check(CLI::Range(1U, kLastStation));
    std::string allow;
    app.add_option("--allow", allow,
                   "The only clients that may connect: addresses or networks, such as "
                   "192.168.10.0/24,10.0.0.5 (default: any that reaches the address listened on)")
        ->type_name("CIDR,...");
    app.add_flag("--read-only", settings.rules.read_only,
                 "Answer every write (05, 06, 15, 16) with exception 01, the line untouched");
    app.add_option("--max-clients", settings.max_clients,
                   "Connections at once; more are closed as they come (default 32)")
        ->check(CLI::Range(1U, 10000U));
    unsigned idle_s = 60;
    app.add_option("--idle-timeout", idle_s,
                   "Seconds without traffic before a connection is closed (default 60, 0: never)")
        ->check(CLI::Range(0U, 86400U));
    unsigned stats_s = 0;
    app.add_option("--stats-interval", stats_s,
                   "Print the counters every N seconds (default: on SIGUSR1 and at exit only)")
        ->check(CLI::Range(0U, 86400U));
    double retry_dead_s = 1;
    app.add_option("--retry-dead-after", retry_dead_s,
                   "The longest, in seconds, between two one-try probes of a station that stopped "
                   "answering, answered 0B meanwhile (default 1)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.1, 3600.0));
    std::string log_level;
    auto* level_option =
        app.add_option("--log-level", log_level,
                       "What is said beyond the line's and stations' failures and the counters: "
                       "quiet (nothing more), connections (each client's, the default) or "
                       "requests (one line each, as --verbose)")
            ->check(CLI::IsMember({"quiet", "connections", "requests"}));
    bool verbose = false;
    app.add_flag("--verbose,-v", verbose,
                 "One line per request, in device names: read D100-D109 -> ok 41 ms (--log-level "
                 "requests)")
        ->excludes(level_option);
    std::string web;
    auto* web_option =
        app.add_option(
               "--web", web,
               "Serve the console, a page for any browser (the line, its traffic, live values "
               "by device name and their trends), on this address, such as 127.0.0.1:8080; "
               "--allow applies to it too (default: no console)")
            ->type_name("ADDRESS:PORT");
    web::ConsoleSettings console;
    app.add_option("--web-host", console.names,
                   "A name the console is reached by besides its address, such as "
                   "plc-gateway.local (repeatable): a browser's request naming any other is "
                   "refused")
        ->type_name("NAME")
        ->needs(web_option);
    unsigned keep_watching = 10;
    app.add_option("--web-keep-watching", keep_watching,
                   "Minutes the console's watch list is still read after its last page closes, "
                   "so a page opened later shows them (default 10)")
        ->type_name("MINUTES")
        ->check(CLI::Range(0U, 1440U))
        ->needs(web_option);
    unsigned trend_minutes = 10;
    app.add_option("--web-trend-minutes", trend_minutes,
                   "Minutes of each watched value the console's trends keep (default 10, at most "
                   "60; 3600 samples at most)")
        ->type_name("MINUTES")
        ->check(CLI::Range(1U, 60U))
        ->needs(web_option);
    app.add_flag("--web-writes", console.writes,
                 "Let the console write a value to a device by name, confirmed on the page and "
                 "read back (refused all the same with --read-only)")
        ->needs(web_option);
    std::string password_file;
    app.add_option("--web-password-file", password_file,
                   "Ask for a user and a password (HTTP basic authentication, in clear: use a TLS "
                   "reverse proxy beyond a trusted network): lines of user:password in a file "
                   "only the gateway's user may read")
        ->type_name("FILE")
        ->needs(web_option);
    // CLI11 names the arguments no option takes last first: they are collected here and named in
    // the order given.
    app.allow_extras();
    if (auto status =
            console::ParseCommandLine(app, arguments, console::Messages("zentriq-gateway"))) {
        return status;
    }
    if (const auto extras = app.remaining(); !extras.empty()) {
        std::string named;
        for (const auto& extra : extras) {
            named += (named.empty() ? "" : " ") + extra;
        }
        return UsageError(std::string(extras.size() == 1
                                          ? "The following argument was not expected: "
                                          : "The following arguments were not expected: ") +
                          named);
    }
    auto connection = line.Connection();
    if (auto* failure = std::get_if<text::Failure>(&connection)) {
        return UsageError(failure->message);
    }
    settings.line = std::get<transport::Connection>(std::move(connection));
    const auto where = AddressOf(listen, 502);
    if (!where) {
        return UsageError("--listen " + listen +
                          ": give an address and a port, such as 127.0.0.1:502 or [::1]:1502");
    }
    settings.listen_host = where->host;
    settings.listen_port = where->port;
    const bool read_only = settings.rules.read_only;
    settings.rules = EveryStation(settings.line.slave);
    settings.rules.read_only = read_only;
    if (!stations.empty()) {
        settings.rules.stations.reset();
        for (const unsigned station : stations) {
            settings.rules.stations.set(station);
        }
    }
    if (!allow.empty()) {
        auto networks = ReadAllowList(allow);
        if (auto* failure = std::get_if<text::Failure>(&networks)) {
            return UsageError(failure->message);
        }
        settings.allow = std::get<std::vector<AllowedNetwork>>(std::move(networks));
    }
    if (!web.empty()) {
        const auto console_at = AddressOf(web, 8080);
        if (!console_at) {
            return UsageError("--web " + web +
                              ": give an address and a port, such as 127.0.0.1:8080");
        }
        console.host = console_at->host;
        console.port = console_at->port;
        console.keep_watching = std::chrono::minutes(keep_watching);
        console.trend = std::chrono::minutes(trend_minutes);
        console.version = ZENTRIQ_VERSION;
        console.read_only = settings.rules.read_only;
        if (!password_file.empty()) {
            auto credentials = web::ReadPasswordFile(password_file);
            if (auto* failure = std::get_if<text::Failure>(&credentials)) {
                return UsageError(failure->message);
            }
            console.credentials = std::get<web::Credentials>(std::move(credentials));
        }
        settings.web = std::move(console);
    }
    settings.idle_timeout = std::chrono::seconds(idle_s);
    settings.stats_interval = std::chrono::seconds(stats_s);
    settings.log_level = verbose || log_level == "requests" ? LogLevel::Requests
                         : log_level == "quiet"             ? LogLevel::Quiet
                                                            : LogLevel::Connections;
    settings.retry_dead_after =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(retry_dead_s));
    return std::nullopt;
}

}  // namespace gateway
