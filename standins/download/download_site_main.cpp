// The stand-in download site as a program, for trying the update by hand:
//   kelo_download_site.exe <port> <folder>
// serves every file below <folder> as "http://127.0.0.1:<port>/downloads/...".
// A Kelo built with -DKELO_DOWNLOAD_BASE_URL=http://127.0.0.1:<port>/ uses it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "core/text.h"
#include "standins/download_site.h"

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    if (argc != 3) {
        std::cerr << "usage: kelo_download_site <port> <folder>\n";
        return 2;
    }
    const fs::path folder = fs::u8path(argv[2]);
    try {
        DownloadSite site(std::stoi(argv[1]));
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
            if (!e.is_regular_file())
                continue;
            std::ifstream in(e.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            const std::string sitePath = wide_to_utf8(fs::relative(e.path(), folder).generic_wstring());
            site.putFile(sitePath, bytes.str());
            std::cout << site.rootUrl() << "downloads/" << sitePath << "\n";
        }
        std::cout << "Serving; press Enter to stop." << std::endl;
        std::getchar();
        for (const std::string& request : site.requestLog())
            std::cout << "requested " << request << "\n";
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
