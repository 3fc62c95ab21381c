#pragma once
#include <stdexcept>

// Why a download failed, for whoever wants to know (the run only counts it).
struct DownloadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The address, or one a redirect led to, is not one the app fetches. Asking
// again brings the same refusal, so the track fails at once; what() says
// why, for the activity log.
struct AddressRefused : DownloadError {
    using DownloadError::DownloadError;
};
