#include "model/SnapshotReader.hpp"

#include <cmath>
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

// Where the reader stands in the fixed shape of the document.
enum class Where { Start, Top, WorkspaceList, Workspace, ClipList, Clip, Done };

// Which member the next value belongs to.
enum class Field {
    None, Skip, Workspaces, ScannedAt, Scope,
    WorkspaceId, WorkspaceName, WorkspaceClips,
    ClipId, ClipTitle, ClipLiked
};

class Reader final : public nlohmann::json_sax<Json> {
public:
    explicit Reader(LibrarySnapshot& out) : out_(out) {}

    const std::string& error() const { return error_; }

    bool null() override {
        if (skipping())
            return true;
        if (field_ == Field::Scope) { // null reads as no label
            out_.scope.reset();
            field_ = Field::None;
            return true;
        }
        return scalar("null");
    }
    bool boolean(bool value) override {
        if (skipping())
            return true;
        if (field_ == Field::ClipLiked) {
            clip_.liked = value;
            haveLiked_ = true;
            field_ = Field::None;
            return true;
        }
        return scalar("a boolean");
    }
    bool number_integer(number_integer_t value) override { return number(double(value)); }
    bool number_unsigned(number_unsigned_t value) override { return number(double(value)); }
    bool number_float(number_float_t value, const string_t&) override { return number(value); }
    bool binary(binary_t&) override { return fail("unexpected binary value"); }

    bool string(string_t& value) override {
        if (skipping())
            return true;
        switch (field_) {
        case Field::Scope: out_.scope = std::move(value); break;
        case Field::WorkspaceId: workspace_.id = std::move(value); haveId_ = true; break;
        case Field::WorkspaceName: workspace_.name = std::move(value); haveName_ = true; break;
        case Field::ClipId: clip_.id = std::move(value); haveClipId_ = true; break;
        case Field::ClipTitle: clip_.title = std::move(value); haveTitle_ = true; break;
        default: return scalar("a string");
        }
        field_ = Field::None;
        return true;
    }

    bool start_object(std::size_t) override {
        if (skipping() || field_ == Field::Skip)
            return enterSkipped();
        switch (where_) {
        case Where::Start: where_ = Where::Top; return true;
        case Where::WorkspaceList:
            where_ = Where::Workspace;
            workspace_ = {};
            haveId_ = haveName_ = haveClips_ = false;
            return true;
        case Where::ClipList:
            where_ = Where::Clip;
            clip_ = {};
            haveClipId_ = haveTitle_ = haveLiked_ = false;
            return true;
        default: return mistyped("an object");
        }
    }

    bool start_array(std::size_t) override {
        if (skipping() || field_ == Field::Skip)
            return enterSkipped();
        if (where_ == Where::Top && field_ == Field::Workspaces) {
            out_.workspaces.clear(); // a repeated member counts once, as its last value
            where_ = Where::WorkspaceList;
            haveWorkspaces_ = true;
        } else if (where_ == Where::Workspace && field_ == Field::WorkspaceClips) {
            workspace_.clips.clear();
            where_ = Where::ClipList;
            haveClips_ = true;
        } else {
            return mistyped("an array");
        }
        field_ = Field::None;
        return true;
    }

    bool key(string_t& name) override {
        if (skipping())
            return true;
        field_ = Field::Skip;
        if (where_ == Where::Top) {
            if (name == "workspaces") field_ = Field::Workspaces;
            else if (name == "scannedAt") field_ = Field::ScannedAt;
            else if (name == "scope") field_ = Field::Scope;
        } else if (where_ == Where::Workspace) {
            if (name == "id") field_ = Field::WorkspaceId;
            else if (name == "name") field_ = Field::WorkspaceName;
            else if (name == "clips") field_ = Field::WorkspaceClips;
        } else if (where_ == Where::Clip) {
            if (name == "id") field_ = Field::ClipId;
            else if (name == "title") field_ = Field::ClipTitle;
            else if (name == "liked") field_ = Field::ClipLiked;
        }
        return true;
    }

    bool end_object() override {
        if (skipDepth_ > 0)
            return leaveSkipped();
        switch (where_) {
        case Where::Clip:
            if (!haveClipId_ || !haveTitle_ || !haveLiked_)
                return fail(!haveClipId_ ? "a clip has no \"id\""
                            : !haveTitle_ ? "a clip has no \"title\""
                                          : "a clip has no \"liked\"");
            workspace_.clips.push_back(std::move(clip_));
            where_ = Where::ClipList;
            return true;
        case Where::Workspace:
            if (!haveId_ || !haveName_ || !haveClips_)
                return fail(!haveId_ ? "a workspace has no \"id\""
                            : !haveName_ ? "a workspace has no \"name\""
                                         : "a workspace has no \"clips\"");
            out_.workspaces.push_back(std::move(workspace_));
            where_ = Where::WorkspaceList;
            return true;
        case Where::Top:
            if (!haveWorkspaces_)
                return fail("missing member \"workspaces\"");
            if (!haveScannedAt_)
                return fail("missing member \"scannedAt\"");
            where_ = Where::Done;
            return true;
        default: return fail("unexpected end of object");
        }
    }

    bool end_array() override {
        if (skipDepth_ > 0)
            return leaveSkipped();
        if (where_ == Where::ClipList)
            where_ = Where::Workspace;
        else if (where_ == Where::WorkspaceList)
            where_ = Where::Top;
        else
            return fail("unexpected end of array");
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return fail("not a JSON document");
    }

private:
    bool skipping() const { return skipDepth_ > 0; }

    // The value of a member nobody reads, or anything inside it.
    bool enterSkipped() {
        ++skipDepth_;
        field_ = Field::None;
        return true;
    }
    bool leaveSkipped() {
        --skipDepth_;
        return true;
    }

    bool number(double value) {
        if (skipping())
            return true;
        if (field_ != Field::ScannedAt)
            return scalar("a number");
        // Within about 285 years of 2001 every microsecond is exact in a
        // double; anything further out is not a date this app wrote.
        if (!(std::abs(value) < 9e9))
            return fail("\"scannedAt\" is out of range");
        out_.scannedAt = DateFormat::fromSecondsSinceReference(value);
        haveScannedAt_ = true;
        field_ = Field::None;
        return true;
    }

    // A plain value where the member wants something else, or none at all.
    bool scalar(const char* kind) {
        if (field_ == Field::Skip) {
            field_ = Field::None;
            return true;
        }
        return mistyped(kind);
    }

    bool mistyped(const char* kind) {
        switch (where_) {
        case Where::Start: return fail("the document is not an object");
        case Where::WorkspaceList: return fail("a workspace is not an object");
        case Where::ClipList: return fail("a clip is not an object");
        default: break;
        }
        return fail(std::string("a member holds ") + kind + " where another type belongs");
    }

    bool fail(std::string message) {
        if (error_.empty())
            error_ = "library.json: " + std::move(message);
        return false;
    }

    LibrarySnapshot& out_;
    std::string error_;
    Where where_ = Where::Start;
    Field field_ = Field::None;
    int skipDepth_ = 0;
    Workspace workspace_;
    WClip clip_;
    bool haveWorkspaces_ = false, haveScannedAt_ = false;
    bool haveId_ = false, haveName_ = false, haveClips_ = false;
    bool haveClipId_ = false, haveTitle_ = false, haveLiked_ = false;
};

} // namespace

LibrarySnapshot readSnapshot(std::string_view json) {
    LibrarySnapshot snapshot;
    Reader reader(snapshot);
    const bool ok = Json::sax_parse(json.begin(), json.end(), &reader);
    if (!ok)
        throw SnapshotError(reader.error().empty() ? "library.json: not a JSON document"
                                                   : reader.error());
    return snapshot;
}
