// GMimeStream subclass reading an AttachmentSource. GMime only ever reads a
// part's content stream front to back after a reset, which is all an
// attachment in the mailbox offers cheaply; seeking elsewhere is refused.
#include "convert/compose/AttachmentStream.h"

#include <new>

namespace tolvane {

namespace {

struct SourceStream {
    GMimeStream parent;
    std::shared_ptr<AttachmentSource>* source;  // owned; placement-made in init, destroyed in finalize
    bool failed;
};

struct SourceStreamClass {
    GMimeStreamClass parent_class;
};

GType SourceStreamType();

SourceStream* AsSource(GMimeStream* stream)
{
    return reinterpret_cast<SourceStream*>(stream);
}

gpointer parentClass = nullptr;

ssize_t StreamRead(GMimeStream* stream, char* buffer, size_t length)
{
    SourceStream* self = AsSource(stream);
    if (self->failed)
        return -1;
    AttachmentSource& source = **self->source;
    const qint64 left = source.size() - stream->position;
    if (left <= 0)
        return 0;
    const qint64 wanted = std::min<qint64>(left, static_cast<qint64>(length));
    const qint64 read = source.Read(buffer, wanted);
    if (read < 0 || (read == 0 && wanted > 0)) {
        self->failed = true;
        return -1;
    }
    stream->position += read;
    return static_cast<ssize_t>(read);
}

ssize_t StreamWrite(GMimeStream*, const char*, size_t)
{
    return -1;
}

int StreamFlush(GMimeStream*)
{
    return 0;
}

int StreamClose(GMimeStream*)
{
    return 0;
}

gboolean StreamEos(GMimeStream* stream)
{
    SourceStream* self = AsSource(stream);
    return self->failed || stream->position >= (*self->source)->size();
}

int StreamReset(GMimeStream* stream)
{
    SourceStream* self = AsSource(stream);
    if (stream->position == 0 && !self->failed)
        return 0;
    if (self->failed || !(*self->source)->Rewind()) {
        self->failed = true;
        return -1;
    }
    stream->position = 0;
    return 0;
}

gint64 StreamSeek(GMimeStream* stream, gint64 offset, GMimeSeekWhence whence)
{
    const gint64 size = (*AsSource(stream)->source)->size();
    gint64 target = offset;
    if (whence == GMIME_STREAM_SEEK_CUR)
        target = stream->position + offset;
    else if (whence == GMIME_STREAM_SEEK_END)
        target = size + offset;
    if (target == stream->position)
        return target;
    if (target == 0)
        return StreamReset(stream) == 0 ? 0 : -1;
    return -1;
}

gint64 StreamTell(GMimeStream* stream)
{
    return stream->position;
}

gint64 StreamLength(GMimeStream* stream)
{
    return (*AsSource(stream)->source)->size();
}

GMimeStream* StreamSubstream(GMimeStream*, gint64, gint64)
{
    return nullptr;
}

void StreamFinalize(GObject* object)
{
    SourceStream* self = reinterpret_cast<SourceStream*>(object);
    using Pointer = std::shared_ptr<AttachmentSource>;
    self->source->~Pointer();
    g_free(self->source);
    self->source = nullptr;
    G_OBJECT_CLASS(parentClass)->finalize(object);
}

void SourceStreamClassInit(gpointer klass, gpointer)
{
    parentClass = g_type_class_peek_parent(klass);
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->finalize = StreamFinalize;
    auto* streamClass = static_cast<GMimeStreamClass*>(klass);
    streamClass->read = StreamRead;
    streamClass->write = StreamWrite;
    streamClass->flush = StreamFlush;
    streamClass->close = StreamClose;
    streamClass->eos = StreamEos;
    streamClass->reset = StreamReset;
    streamClass->seek = StreamSeek;
    streamClass->tell = StreamTell;
    streamClass->length = StreamLength;
    streamClass->substream = StreamSubstream;
}

void SourceStreamInit(GTypeInstance* instance, gpointer)
{
    SourceStream* self = reinterpret_cast<SourceStream*>(instance);
    void* memory = g_malloc(sizeof(std::shared_ptr<AttachmentSource>));
    self->source = new (memory) std::shared_ptr<AttachmentSource>();
    self->failed = false;
}

GType SourceStreamType()
{
    static const GType type = [] {
        GTypeInfo info{};
        info.class_size = sizeof(SourceStreamClass);
        info.class_init = SourceStreamClassInit;
        info.instance_size = sizeof(SourceStream);
        info.instance_init = SourceStreamInit;
        return g_type_register_static(GMIME_TYPE_STREAM, "TolvaneAttachmentSourceStream", &info, GTypeFlags(0));
    }();
    return type;
}

}  // namespace

GObjectPtr<GMimeStream> NewAttachmentStream(std::shared_ptr<AttachmentSource> source)
{
    EnsureGMimeReady();
    auto* stream = static_cast<GMimeStream*>(g_object_new(SourceStreamType(), nullptr));
    const gint64 size = source->size();
    *AsSource(stream)->source = std::move(source);
    g_mime_stream_construct(stream, 0, size);
    return GObjectPtr<GMimeStream>(stream);
}

}  // namespace tolvane
