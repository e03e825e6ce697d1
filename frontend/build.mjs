// The starter page needs no bundling yet; the designer's build replaces this.
console.log('front end: nothing to bundle');
