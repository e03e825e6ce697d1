// Printing in a label printer's own language: the job goes to the queue as raw data that no
// filter of the printing system touches.
#pragma once

#include <QString>

struct PrintRequest;

// Checks the language, resolution and settings the payload asks for, and that every page decodes to the label's size in dots, then writes the pages, copies times
// in order, and queues them on the printer as one raw job. Returns the refusal's message, or an
// empty string once the whole job is queued; a refused job leaves nothing in the queue.
QString printInLabelLanguage(const PrintRequest &request);
