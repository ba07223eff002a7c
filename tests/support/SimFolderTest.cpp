#include "SimFolderTest.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

void CSimFolderTest::SetUp() {
    ASSERT_NE(std::getenv("PHONE_SIM"), nullptr);
    std::string dirTemplate = "/tmp/" + m_strPrefix + "-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate.data()), nullptr);
    m_dir = dirTemplate;
}

void CSimFolderTest::TearDown() {
    if (!m_dir.empty())
        std::filesystem::remove_all(m_dir);
}

std::filesystem::path CSimFolderTest::File(const std::string& name,
                                           const std::string& content) const {
    std::ofstream(m_dir / name, std::ios::binary) << content;
    return m_dir / name;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
