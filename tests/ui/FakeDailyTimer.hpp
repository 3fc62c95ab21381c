#pragma once
#include "ui/DailyTimer.hpp"

#include <string>
#include <vector>

// A daily timer that only notes what it is asked; the test says when and
// how each request ends.
class FakeDailyTimer : public DailyTimer {
  public:
    State state() const override { return state_; }
    std::string problem() const override { return problem_; }
    void setOn(bool on) override {
        requests.push_back(on);
        answer(on ? State::turningOn : State::turningOff);
    }
    void answer(State state, std::string problem = {}) {
        state_ = state;
        problem_ = std::move(problem);
        changed_.emit();
    }

    std::vector<bool> requests;

  private:
    State state_ = State::off;
    std::string problem_;
};
