#include "postgres_cluster.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "daemon_process.h"

extern char** environ;

namespace tg::test {
namespace {

// The newest installed server's programs.
std::string findBinaries() {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
        if (std::filesystem::exists(entry.path() / "bin" / "initdb", error)) {
            found.push_back(entry.path() / "bin");
        }
    }
    if (found.empty()) return {};
    std::sort(found.begin(), found.end());
    return found.back().string();
}

}  // namespace

PostgresCluster::PostgresCluster() : m_bin(findBinaries()) {
    if (m_bin.empty()) {
        m_unavailable = "PostgreSQL is not installed (Debian package postgresql)";
        return;
    }
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody) {
            m_unavailable = "no user nobody to run PostgreSQL as";
            return;
        }
        m_uid = nobody->pw_uid;
        m_gid = nobody->pw_gid;
    } else {
        m_uid = ::geteuid();
        m_gid = ::getegid();
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "tg-pg-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        m_unavailable = "cannot make a folder for the cluster";
        return;
    }
    m_dir = pattern;
    if (::geteuid() == 0 && ::chown(m_dir.c_str(), m_uid, m_gid) != 0) {
        m_unavailable = "cannot give the cluster's folder to nobody";
    }
}

PostgresCluster::~PostgresCluster() {
    if (m_started) {
        std::string output;
        run("pg_ctl",
            {"-D", (m_dir / "data").string(), "-m", "immediate", "-w", "-t", "30", "stop"},
            std::chrono::seconds(40), output);
    }
    std::error_code ignored;
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
}

bool PostgresCluster::start(std::uint16_t port, std::string& error) {
    m_port = port;
    const std::string data = (m_dir / "data").string();
    if (run("initdb",
            {"-D", data, "-U", "tg", "--auth=trust", "--no-sync", "-E", "UTF8", "--locale=C"},
            std::chrono::seconds(120), error) != 0) {
        return false;
    }
    m_started = true;  // from here on it is stopped at the end, whatever pg_ctl says
    const std::string options = "-c listen_addresses=127.0.0.1 -p " + std::to_string(port) +
                                " -c unix_socket_directories=" + m_dir.string() + " -c fsync=off";
    return run("pg_ctl",
               {"-D", data, "-l", (m_dir / "server.log").string(), "-o", options, "-w", "-t", "60",
                "start"},
               std::chrono::seconds(70), error) == 0;
}

bool PostgresCluster::sql(const std::string& statements, std::string& error) {
    return run("psql",
               {"-X", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1", "-p", std::to_string(m_port),
                "-U", "tg", "-d", "postgres", "-c", statements},
               std::chrono::seconds(30), error) == 0;
}

int PostgresCluster::run(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::seconds limit, std::string& output) {
    std::vector<std::string> words;
    if (::geteuid() == 0) {
        words = {"/usr/bin/setpriv", "--reuid=" + std::to_string(m_uid),
                 "--regid=" + std::to_string(m_gid), "--clear-groups", "--"};
    }
    words.push_back(m_bin + "/" + program);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const std::string outputFile = (m_dir / "command.out").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, m_dir.c_str());
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        output = "cannot start " + words.front();
        return -1;
    }
    int status = 0;
    const bool ended = waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    std::ifstream in(outputFile);
    output = program + ": " + std::string(std::istreambuf_iterator<char>(in), {});
    if (!ended) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tg::test
