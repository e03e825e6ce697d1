// What one call to the host may carry. A web-channel message holds 64 Mi UTF-16 characters;
// past that the engine drops the call's arguments and the page never gets a reply, so the page
// keeps every payload below the limit, with 64 Ki left for the channel's own envelope.

export const CHANNEL_LIMIT_CHARS = 64 * 1024 * 1024 - 64 * 1024;

/** The host decodes no page image above this many pixels (a few bytes can claim gigabytes). */
export const MAX_PAGE_PIXELS = 100 * 1000 * 1000;
