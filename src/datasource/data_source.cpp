#include "datasource/data_source.h"

#include <algorithm>

namespace tg {

DataSource::DataSource(std::string name, ConfigStore& store, EventSink& events)
    : m_store(store),
      m_events(events),
      m_pattern(std::make_shared<const RegExp>()) {
    m_definition.name = std::move(name);
}

DataSource::~DataSource() {
    {
        std::lock_guard run(m_runLock);
        stopReader();
    }
    writeLastPos();  // also a last try to write what the duplicate log could not take
    std::lock_guard lock(m_lock);
    if (!m_duplicateQueue.empty() && writeDuplicates() != 0) {
        m_events.writeLog(m_definition.name, "The duplicate log " + m_definition.backup + " could not be written: " +
                                      std::to_string(m_duplicateQueue.size()) +
                                      " bytes of records are missing from it");
    }
}

SourceDefinition DataSource::definition() const {
    std::lock_guard lock(m_lock);
    return m_definition;
}

std::string DataSource::name() const {
    std::lock_guard lock(m_lock);
    return m_definition.name;
}

SourceType DataSource::type() const {
    std::lock_guard lock(m_lock);
    return m_definition.type;
}

std::string DataSource::regexp() const {
    std::lock_guard lock(m_lock);
    return m_definition.regexp;
}

std::string DataSource::connect() const {
    std::lock_guard lock(m_lock);
    return m_definition.connect;
}

std::string DataSource::backup() const {
    std::lock_guard lock(m_lock);
    return m_definition.backup;
}

FieldNames DataSource::fieldNames() const {
    std::lock_guard lock(m_lock);
    return m_definition.fields;
}

std::uint64_t DataSource::lastPos() const {
    std::lock_guard lock(m_lock);
    return m_position.offset;
}

int DataSource::setRegexp(std::string_view text) {
    RegExpOptions options;
    {
        std::lock_guard lock(m_lock);
        options = m_regexpOptions;
    }
    auto pattern = std::make_shared<RegExp>();
    pattern->compile(text, options);  // an expression that does not compile matches nothing
    std::lock_guard lock(m_lock);
    m_definition.regexp.assign(text);
    m_pattern = std::move(pattern);
    m_parseSettingsVersion.fetch_add(1, std::memory_order_release);
    return 0;
}

void DataSource::setRegExpOptions(RegExpOptions options) {
    std::string text;
    {
        std::lock_guard lock(m_lock);
        m_regexpOptions = options;
        text = m_definition.regexp;
    }
    setRegexp(text);
}

int DataSource::setType(SourceType type) {
    std::lock_guard lock(m_lock);
    m_definition.type = type;
    return 0;
}

int DataSource::setConnect(std::string_view text) {
    std::lock_guard lock(m_lock);
    m_definition.connect.assign(text);
    return 0;
}

int DataSource::setBackup(std::string_view path) {
    std::lock_guard lock(m_lock);
    m_definition.backup.assign(path);
    m_parseSettingsVersion.fetch_add(1, std::memory_order_release);
    return 0;
}

void DataSource::setFields(FieldNames names) {
    std::lock_guard lock(m_lock);
    m_definition.fields = std::move(names);
}

bool DataSource::datagramLines() const {
    std::lock_guard lock(m_lock);
    return m_definition.datagramLines;
}

void DataSource::setDatagramLines(bool on) {
    std::lock_guard lock(m_lock);
    m_definition.datagramLines = on;
}

std::size_t DataSource::listenerCount() const {
    std::lock_guard lock(m_lock);
    return m_listeners.size();
}

bool DataSource::hasListener(const RecordListener& listener) const {
    std::lock_guard lock(m_lock);
    return std::find(m_listeners.begin(), m_listeners.end(), &listener) != m_listeners.end();
}

ReadPosition DataSource::readPosition() const {
    std::lock_guard lock(m_lock);
    return m_position;
}

bool DataSource::updateReadPosition(const ReadPosition& position) {
    settleDelivery();  // the position must not pass records still on their way
    std::lock_guard lock(m_lock);
    if (position.generation != m_position.generation) return false;
    m_position = position;
    // The reader's newest sample of its input serves the delivered positions from now on.
    if (m_inputBase && m_inputBase->generation == position.generation &&
        m_inputBase->fileId == position.fileId && position.check &&
        position.check->end <= m_inputBase->offset + m_inputParsed) {
        m_inputBase->check = position.check;
    }
    return true;
}

namespace {

// Calls `call` for every listener in list order. A listener may detach itself (or others) from
// inside its call: the one that takes its place is still called.
template <class Call>
void forEachListener(const std::vector<RecordListener*>& listeners, Call&& call) {
    for (std::size_t i = 0; i < listeners.size();) {
        RecordListener* const listener = listeners[i];
        call(*listener);
        if (i < listeners.size() && listeners[i] == listener) ++i;
    }
}

}  // namespace

void DataSource::deliverToObservers(const Record& record) {
    std::lock_guard lock(m_lock);
    forEachListener(m_listeners, [&](RecordListener& listener) {
        listener.observeRecord(record, m_definition.fields);
    });
}

void DataSource::deliverRecord(RecordView record) {
    forEachListener(m_listeners, [&](RecordListener& listener) {
        listener.observeDelivered(record, m_definition.fields);
    });
    forEachListener(m_listeners, [&](RecordListener& listener) {
        listener.processDelivered(record, m_definition.fields);
    });
}

void DataSource::pauseDelivery() noexcept {
    forEachListener(m_listeners, [](RecordListener& listener) { listener.deliveryPaused(); });
}

void DataSource::endDelivery() noexcept {
    std::lock_guard lock(m_lock);
    forEachListener(m_listeners, [](RecordListener& listener) { listener.deliveryEnded(); });
}

}  // namespace tg
