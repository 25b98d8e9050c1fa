// The worker threads that the main task starts and its shutdown joins, and
// the Winsock block of a run.
#pragma once

#include <thread>

struct MainTaskThreads {
    std::jthread simClient;
    std::jthread weatherReader;
    std::jthread trafficReader;
};
MainTaskThreads& gf_mainTaskThreads();

// WSAStartup 2.2 into a new block; an earlier block is cleaned up and freed
// first. Throws std::runtime_error "WSAStartup failed, error: {}".
void gf_startWinsock();
// WSACleanup and the block freed; nothing when there is none.
void gf_releaseWinsock();
