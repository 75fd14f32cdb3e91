#pragma once
// Where the dataset layer sends an error it must not let through: an error
// raised inside OnFilterRecord while the cursor tests records cannot stop
// the cursor half-way, so it is handed to the handler the window layer sets
// (its default error handler shows the message in a message box). Without
// a handler such an error is dropped.
//
// Threads: the thread that uses the datasets; the handler is set once at
// start-up.

#include <exception>
#include <functional>

namespace telvora::dataset {

using TApplicationErrorHandler = std::function<void(const std::exception&)>;

// Returns the handler that was set before.
TApplicationErrorHandler SetApplicationErrorHandler(TApplicationErrorHandler handler);
// Never raises: an error of the handler itself is dropped.
void HandleApplicationException(const std::exception& error) noexcept;

}  // namespace telvora::dataset
