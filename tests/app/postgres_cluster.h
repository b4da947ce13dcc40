#pragma once
// A throw-away PostgreSQL cluster for one test: initdb in a fresh folder, the server on
// 127.0.0.1 and a given port, SQL run through psql. PostgreSQL refuses to run as root, so a
// root test runs every PostgreSQL program as "nobody", in a folder that user owns. The server
// is stopped and the folder removed when the object goes, whatever happened. Every command is
// bounded in time.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tg::test {

class PostgresCluster {
public:
    PostgresCluster();
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // Why no cluster can run here (no PostgreSQL installed); empty when one can.
    const std::string& unavailable() const { return m_unavailable; }
    // Creates the cluster (superuser "tg", trust authentication) and starts the server on
    // `port`; false with the programs' output in `error`.
    bool start(std::uint16_t port, std::string& error);
    // Runs `statements` in the database "postgres"; false with psql's output in `error`.
    bool sql(const std::string& statements, std::string& error);

private:
    // Runs a PostgreSQL program (as nobody when root); its exit code, -1 when it did not end
    // within `limit` (it is killed) or could not start. Its output goes to `output`.
    int run(const std::string& program, const std::vector<std::string>& args,
            std::chrono::seconds limit, std::string& output);

    std::string m_bin;
    std::filesystem::path m_dir;
    std::string m_unavailable;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    std::uint16_t m_port = 0;
    bool m_started = false;
};

}  // namespace tg::test
