#pragma once
#include "config/ExpanderConfig.h"
#include "config/MainControls.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>

class ReadTarget;

// The main window's device procedures: port selection and discovery, reading an expander,
// programming it and writing its loop descriptions. They talk to the device only through the
// link's requests and show and collect values through the main window's controls.
//
// At most one procedure uses the port and the frame buffer at a time: a procedure started while
// another one (of either window) waits on the line is ignored.
class ExpanderSession {
  public:
    ExpanderSession(const MainControls& controls, ExpanderConfig& config, uint8_t& progressStep);

    void selectPort();   // ComboBox1Change
    void readExpander(); // ComboBox2Change, N7Click
    // The same read of the chosen expander, with what it reports going to another target than the
    // record and the controls.
    void readExpander(ReadTarget& target);
    // The same read of the listed expander at address, whatever the list has chosen: the lists keep
    // their choice.
    void readExpander(int address, ReadTarget& target);
    void programExpander(); // Button1Click, N6Click

    // What a programming run writes, and what it compares with: the reference is what the expander
    // is known to hold, and the run updates it as the expander confirms each item.
    struct Order {
        ExpanderConfig& reference;
        CollectedConfig wanted;
        bool everything = false;         // every item, also one the reference already holds
        uint8_t unknownDescriptions = 0; // loops (bit n - 1) whose text the expander was not read for
    };
    // The same programming run of a record of the caller's, the window left as it is (the repeat
    // question included). True when the run ended in success.
    bool programExpander(Order& order);

    // Called when the access step finds the key-programming device on the chosen port: the main
    // window hands over to the key programmer window (N8Click and its port selection).
    std::function<void()> onKeyDeviceFound;

    const std::array<uint8_t, 256>& expanderTable() const { return expanderTable_; }
    const std::array<uint8_t, 512>& descriptorTable() const { return descriptorTable_; }
    int rememberedIndex() const { return rememberedIndex_; }
    // True while one of the procedures runs.
    bool busy() const { return busy_; }

  private:
    enum class RunEnd { Done, Failed };
    struct RunFlags {
        bool partitionsFailed = false;
        bool usersFailed = false;
        bool parametersFailed = false;
        bool succeeded = false; // the run ended with its success message
        bool any() const { return partitionsFailed || usersFailed || parametersFailed; }
    };

    // Marks the session busy for the life of one procedure.
    class BusyScope {
      public:
        explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
        ~BusyScope() { flag_ = false; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

      private:
        bool& flag_;
    };

    bool mayStart() const;
    // Port selection; true when the access step found the key-programming device.
    bool runPortSelection();
    bool readExpanderTable();
    bool readDescriptorTable();
    void runRead(); // into the record and the controls
    void runRead(ReadTarget& target);
    void runRead(int address, ReadTarget& target, bool chosenInList);
    // A read that stops at a failed item: lists enabled, progress bar hidden unless left running.
    void stopRead(const QString& text, bool hideProgress = true);
    bool readParameters(int address, ReadTarget& target);
    void readDescriptions(int address, ReadTarget& target);
    bool readUsers(int address, ReadTarget& target);
    bool readUserCodes(int address, ReadTarget& target);
    bool readPartitions(int address, ReadTarget& target);
    // Runs programming until it succeeds or the repeat question is answered No; collect gives each
    // run its order (the window's is collected again for every run). True on success.
    bool programWithRepeats(const std::function<Order()>& collect, bool showReferenceOnNo);
    // One programming run; Failed when a flag is set and the repeat question is due.
    RunEnd runProgramming(const std::function<Order()>& collect, RunFlags& flags);
    void writePartitions(const Order& order, bool& anySent);
    void readBackPartitions(Order& order, bool anySent, RunFlags& flags);
    void writeUsers(const Order& order);
    bool readBackUsers(Order& order, RunFlags& flags);
    void writeParameters(Order& order, RunFlags& flags);
    void writeDescriptions(Order& order);
    void setListsEnabled(bool enabled);
    void endRunDisplay();
    // A failure message, unless the program is terminating (nobody is left to read it).
    void report(const QString& text);

    MainControls controls_;
    ExpanderConfig& config_;
    uint8_t& progressStep_;
    std::array<uint8_t, 256> expanderTable_{};
    std::array<uint8_t, 512> descriptorTable_{};
    int rememberedIndex_ = -1;
    bool busy_ = false;
};
